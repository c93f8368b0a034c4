#pragma once
// A new Telegram relay takes effect only once the trader has confirmed it in a native dialog
// that names the bot and the chat (the HUD's settings could be driven by a page script before,
// and the relay is remote control of the account). Window thread, except where said.
#include <windows.h>

#include "services/workspace_secrets.h"

// The dialog's answer, posted by its worker thread to the window (lParam: the answer, which
// OnRelayAnswer takes over).
inline constexpr UINT kRelayAnswerMessage = WM_APP + 2;

// Asks on a worker thread (a modal box on the window thread would freeze the terminal whose
// chart window parents this overlay); one question at a time.
void AskForRelayChange(const TelegramRelay& relay);
// The relay goes at once: removing remote control needs no confirmation.
void RemoveRelay();
void OnRelayAnswer(LPARAM answer);

// While a question is open the secrets are not pushed: the HUD takes the next secrets push as
// the workspace's answer to what it asked.
[[nodiscard]] bool RelayQuestionOpen();
