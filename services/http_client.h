#pragma once
// The HTTP client of the cloud and messaging services, on WinINet. No connection reuse,
// no retry and no status handling: callers judge a GET by its body alone and never learn
// how a POST ended. Every call may come from any thread.
#include <string>

// The response body whatever the status; what was read so far (usually nothing) on any
// failure.
[[nodiscard]] std::string HttpGet(const std::wstring& url);

// Sends the body with "Content-Type: application/json" and returns once the response
// head has arrived; the response is never read. Nothing is sent when the host part of
// the URL exceeds 255 characters or its path 1023.
void PostJson(const std::wstring& url, const std::string& body);

// PostJson on a detached thread of its own with copies of both arguments. False when the
// thread could not be started (nothing is sent then).
[[nodiscard]] bool PostJsonAsync(const std::wstring& url, const std::string& body);

// Waits until every PostJsonAsync has finished, at most kExitGraceForPosts, before a process
// exits; logs how many were still running when it gave up.
void AwaitPostsBeforeExit();
