#pragma once
// The workspace's own state in the HUD (window thread): settings with the hard limits, the
// provider keys and the relay (never its token), and the Telegram bot's poll state. Each goes
// in when it changed, whichever process changed it, and all of them to a HUD that has just
// announced itself.
void PushWorkspaceState(bool force);
