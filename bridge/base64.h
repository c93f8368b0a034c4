#pragma once
// Standard base64 (RFC 4648, padded): the visual journal's screenshots, and in the Wine
// runtime the screenshots and fulfilled bodies on the DevTools link and the WebSocket key.
#include <string>
#include <string_view>

[[nodiscard]] std::string Base64Encode(std::string_view bytes);

// Decodes padded or unpadded base64; false on any character outside the alphabet, a bad
// length or data after padding, so a corrupted screenshot is reported, not written.
[[nodiscard]] bool Base64Decode(std::string_view text, std::string* bytes);
