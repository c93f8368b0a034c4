#pragma once
// The workspace's own state in the HUD, and the one change of it that needs the trader's
// word at the workspace. Window thread, except where said.
#include "services/workspace_secrets.h"

// Settings with the hard limits, the
// provider keys and the relay (never its token), and the Telegram bot's poll state. Each goes
// in when it changed, whichever process changed it, and all of them to a HUD that has just
// announced itself.
void PushWorkspaceState(bool force);

// A new Telegram relay takes effect only once the trader has confirmed it in a native dialog
// that names the bot and the chat (the HUD's settings could be driven by a page script before,
// and the relay is remote control of the account).
//
// Asks on a worker thread (a modal box on the window thread would freeze the terminal whose
// chart window parents this overlay); one question at a time.
void AskForRelayChange(const TelegramRelay& relay);
// The relay goes at once: removing remote control needs no confirmation (the store is written
// by the writer thread, and the HUD told when it is done).
void RemoveRelay();

// While a question is open, or its confirmed relay is still being stored, the secrets are not
// pushed: the HUD takes the next secrets push as the workspace's answer to what it asked.
[[nodiscard]] bool RelayQuestionOpen();
