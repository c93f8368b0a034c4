#pragma once
#include <string>

// Acts on one string posted by the page (files in the bridge folder, window visibility).
void HandleWebMessage(const std::wstring& message);
