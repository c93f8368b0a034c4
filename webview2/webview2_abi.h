#pragma once
// Our own declarations of the WebView2 COM interfaces the host talks to (no SDK is linked).
//
// Each interface's methods are listed once, in the runtime's vtable order, in a
// QV_<Interface>_METHODS(X) list. The list expands into the interface itself (pure virtual
// STDMETHODCALLTYPE methods, single inheritance, no destructor), into a slot-number enum
// <Interface>Slot, and into a method count. The static_asserts below pin those counts and
// the slots the host calls to the published layout, so a dropped or swapped line fails the
// build; the Windows slot probe (testing/webview2-loader-probe) confirms the compiler really
// places every method at its enum slot. The lists must never contain overloads: MSVC groups
// overloads together in the vtable, which would break declaration order.
//
// Methods the host never calls keep their slot; event-handler and other interfaces that only
// appear as parameter types are left incomplete.
#include <windows.h>

#include <objbase.h>

#include <oaidl.h>

#include <cstddef>

// The Windows SDK and mingw-w64 both provide EventRegistrationToken in <eventtoken.h> under
// this guard; either header may come first.
#ifndef __eventtoken_h__
#define __eventtoken_h__
extern "C" {
struct EventRegistrationToken {
  INT64 value;
};
typedef struct EventRegistrationToken EventRegistrationToken;
}
#endif

struct COREWEBVIEW2_COLOR {
  BYTE A;
  BYTE R;
  BYTE G;
  BYTE B;
};

enum COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT {
  COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG = 0,
  COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_JPEG = 1,
};

enum COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND {
  COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_DENY = 0,
  COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_ALLOW = 1,
  COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_DENY_CORS = 2,
};

enum COREWEBVIEW2_MOVE_FOCUS_REASON {
  COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC = 0,
  COREWEBVIEW2_MOVE_FOCUS_REASON_NEXT = 1,
  COREWEBVIEW2_MOVE_FOCUS_REASON_PREVIOUS = 2,
};

enum COREWEBVIEW2_WEB_RESOURCE_CONTEXT {
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL = 0,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT = 1,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_STYLESHEET = 2,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_IMAGE = 3,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA = 4,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FONT = 5,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SCRIPT = 6,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_XML_HTTP_REQUEST = 7,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH = 8,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_TEXT_TRACK = 9,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_EVENT_SOURCE = 10,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_WEBSOCKET = 11,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MANIFEST = 12,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SIGNED_EXCHANGE = 13,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_PING = 14,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_CSP_VIOLATION_REPORT = 15,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER = 16,
};

enum COREWEBVIEW2_PROCESS_FAILED_KIND {
  COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED = 0,
  COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED = 1,
  COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE = 2,
  COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED = 3,
  COREWEBVIEW2_PROCESS_FAILED_KIND_UTILITY_PROCESS_EXITED = 4,
  COREWEBVIEW2_PROCESS_FAILED_KIND_SANDBOX_HELPER_PROCESS_EXITED = 5,
  COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED = 6,
  COREWEBVIEW2_PROCESS_FAILED_KIND_PPAPI_PLUGIN_PROCESS_EXITED = 7,
  COREWEBVIEW2_PROCESS_FAILED_KIND_PPAPI_BROKER_PROCESS_EXITED = 8,
  COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED = 9,
};

// The runtime treats every WebView2 enum as a 32-bit value ([v1_enum]).
static_assert(sizeof(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT) == 4, "enum width");
static_assert(sizeof(COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND) == 4, "enum width");
static_assert(sizeof(COREWEBVIEW2_MOVE_FOCUS_REASON) == 4, "enum width");
static_assert(sizeof(COREWEBVIEW2_WEB_RESOURCE_CONTEXT) == 4, "enum width");
static_assert(sizeof(COREWEBVIEW2_PROCESS_FAILED_KIND) == 4, "enum width");
static_assert(sizeof(COREWEBVIEW2_COLOR) == 4 && offsetof(COREWEBVIEW2_COLOR, A) == 0 &&
                  offsetof(COREWEBVIEW2_COLOR, B) == 3,
              "COREWEBVIEW2_COLOR is A, R, G, B bytes");
static_assert(sizeof(EventRegistrationToken) == 8, "EventRegistrationToken is one INT64");

// Interfaces that only appear as parameter types.
struct ICoreWebView2AcceleratorKeyPressedEventHandler;
struct ICoreWebView2ContainsFullScreenElementChangedEventHandler;
struct ICoreWebView2ContentLoadingEventHandler;
struct ICoreWebView2Deferral;
struct ICoreWebView2CookieManager;
struct ICoreWebView2DOMContentLoadedEventHandler;
struct ICoreWebView2DocumentTitleChangedEventHandler;
struct ICoreWebView2FocusChangedEventHandler;
struct ICoreWebView2HistoryChangedEventHandler;
struct ICoreWebView2MoveFocusRequestedEventHandler;
struct ICoreWebView2NavigationCompletedEventHandler;
struct ICoreWebView2NavigationStartingEventHandler;
struct ICoreWebView2NewWindowRequestedEventHandler;
struct ICoreWebView2PermissionRequestedEventHandler;
struct ICoreWebView2ScriptDialogOpeningEventHandler;
struct ICoreWebView2SourceChangedEventHandler;
struct ICoreWebView2WebResourceResponseReceivedEventHandler;
struct ICoreWebView2WindowCloseRequestedEventHandler;
struct ICoreWebView2ZoomFactorChangedEventHandler;

// Interfaces declared below, referenced before their definition.
struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2Settings;
struct ICoreWebView2WebMessageReceivedEventArgs;
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler;
struct ICoreWebView2CapturePreviewCompletedHandler;
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler;
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler;
struct ICoreWebView2ExecuteScriptCompletedHandler;
struct ICoreWebView2TrySuspendCompletedHandler;
struct ICoreWebView2WebMessageReceivedEventHandler;
struct ICoreWebView2HttpHeadersCollectionIterator;
struct ICoreWebView2HttpRequestHeaders;
struct ICoreWebView2HttpResponseHeaders;
struct ICoreWebView2WebResourceRequest;
struct ICoreWebView2WebResourceResponse;
struct ICoreWebView2WebResourceRequestedEventArgs;
struct ICoreWebView2WebResourceRequestedEventHandler;
struct ICoreWebView2ProcessFailedEventArgs;
struct ICoreWebView2ProcessFailedEventHandler;
struct ICoreWebView2NewBrowserVersionAvailableEventHandler;
struct ICoreWebView2CallDevToolsProtocolMethodCompletedHandler;
struct ICoreWebView2DevToolsProtocolEventReceiver;
struct ICoreWebView2DevToolsProtocolEventReceivedEventArgs;
struct ICoreWebView2DevToolsProtocolEventReceivedEventHandler;

// clang-format off
#define QV_ICoreWebView2Environment_METHODS(X) \
  X(CreateCoreWebView2Controller, (HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler)) \
  X(CreateWebResourceResponse, (IStream* content, int statusCode, LPCWSTR reasonPhrase, LPCWSTR headers, ICoreWebView2WebResourceResponse** response)) \
  X(get_BrowserVersionString, (LPWSTR* versionInfo)) \
  X(add_NewBrowserVersionAvailable, (ICoreWebView2NewBrowserVersionAvailableEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_NewBrowserVersionAvailable, (EventRegistrationToken token))

#define QV_ICoreWebView2Controller_METHODS(X) \
  X(get_IsVisible, (BOOL* isVisible)) \
  X(put_IsVisible, (BOOL isVisible)) \
  X(get_Bounds, (RECT* bounds)) \
  X(put_Bounds, (RECT bounds)) \
  X(get_ZoomFactor, (double* zoomFactor)) \
  X(put_ZoomFactor, (double zoomFactor)) \
  X(add_ZoomFactorChanged, (ICoreWebView2ZoomFactorChangedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_ZoomFactorChanged, (EventRegistrationToken token)) \
  X(SetBoundsAndZoomFactor, (RECT bounds, double zoomFactor)) \
  X(MoveFocus, (COREWEBVIEW2_MOVE_FOCUS_REASON reason)) \
  X(add_MoveFocusRequested, (ICoreWebView2MoveFocusRequestedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_MoveFocusRequested, (EventRegistrationToken token)) \
  X(add_GotFocus, (ICoreWebView2FocusChangedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_GotFocus, (EventRegistrationToken token)) \
  X(add_LostFocus, (ICoreWebView2FocusChangedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_LostFocus, (EventRegistrationToken token)) \
  X(add_AcceleratorKeyPressed, (ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_AcceleratorKeyPressed, (EventRegistrationToken token)) \
  X(get_ParentWindow, (HWND* parentWindow)) \
  X(put_ParentWindow, (HWND parentWindow)) \
  X(NotifyParentWindowPositionChanged, ()) \
  X(Close, ()) \
  X(get_CoreWebView2, (ICoreWebView2** coreWebView2))

#define QV_ICoreWebView2Controller2_METHODS(X) \
  X(get_DefaultBackgroundColor, (COREWEBVIEW2_COLOR* value)) \
  X(put_DefaultBackgroundColor, (COREWEBVIEW2_COLOR value))

#define QV_ICoreWebView2_METHODS(X) \
  X(get_Settings, (ICoreWebView2Settings** settings)) \
  X(get_Source, (LPWSTR* uri)) \
  X(Navigate, (LPCWSTR uri)) \
  X(NavigateToString, (LPCWSTR htmlContent)) \
  X(add_NavigationStarting, (ICoreWebView2NavigationStartingEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_NavigationStarting, (EventRegistrationToken token)) \
  X(add_ContentLoading, (ICoreWebView2ContentLoadingEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_ContentLoading, (EventRegistrationToken token)) \
  X(add_SourceChanged, (ICoreWebView2SourceChangedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_SourceChanged, (EventRegistrationToken token)) \
  X(add_HistoryChanged, (ICoreWebView2HistoryChangedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_HistoryChanged, (EventRegistrationToken token)) \
  X(add_NavigationCompleted, (ICoreWebView2NavigationCompletedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_NavigationCompleted, (EventRegistrationToken token)) \
  X(add_FrameNavigationStarting, (ICoreWebView2NavigationStartingEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_FrameNavigationStarting, (EventRegistrationToken token)) \
  X(add_FrameNavigationCompleted, (ICoreWebView2NavigationCompletedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_FrameNavigationCompleted, (EventRegistrationToken token)) \
  X(add_ScriptDialogOpening, (ICoreWebView2ScriptDialogOpeningEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_ScriptDialogOpening, (EventRegistrationToken token)) \
  X(add_PermissionRequested, (ICoreWebView2PermissionRequestedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_PermissionRequested, (EventRegistrationToken token)) \
  X(add_ProcessFailed, (ICoreWebView2ProcessFailedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_ProcessFailed, (EventRegistrationToken token)) \
  X(AddScriptToExecuteOnDocumentCreated, (LPCWSTR javaScript, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler)) \
  X(RemoveScriptToExecuteOnDocumentCreated, (LPCWSTR id)) \
  X(ExecuteScript, (LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler* handler)) \
  X(CapturePreview, (COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT imageFormat, IStream* imageStream, ICoreWebView2CapturePreviewCompletedHandler* handler)) \
  X(Reload, ()) \
  X(PostWebMessageAsJson, (LPCWSTR webMessageAsJson)) \
  X(PostWebMessageAsString, (LPCWSTR webMessageAsString)) \
  X(add_WebMessageReceived, (ICoreWebView2WebMessageReceivedEventHandler* handler, EventRegistrationToken* token)) \
  X(remove_WebMessageReceived, (EventRegistrationToken token)) \
  X(CallDevToolsProtocolMethod, (LPCWSTR methodName, LPCWSTR parametersAsJson, ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler)) \
  X(get_BrowserProcessId, (UINT32* value)) \
  X(get_CanGoBack, (BOOL* canGoBack)) \
  X(get_CanGoForward, (BOOL* canGoForward)) \
  X(GoBack, ()) \
  X(GoForward, ()) \
  X(GetDevToolsProtocolEventReceiver, (LPCWSTR eventName, ICoreWebView2DevToolsProtocolEventReceiver** receiver)) \
  X(Stop, ()) \
  X(add_NewWindowRequested, (ICoreWebView2NewWindowRequestedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_NewWindowRequested, (EventRegistrationToken token)) \
  X(add_DocumentTitleChanged, (ICoreWebView2DocumentTitleChangedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_DocumentTitleChanged, (EventRegistrationToken token)) \
  X(get_DocumentTitle, (LPWSTR* title)) \
  X(AddHostObjectToScript, (LPCWSTR name, VARIANT* object)) \
  X(RemoveHostObjectFromScript, (LPCWSTR name)) \
  X(OpenDevToolsWindow, ()) \
  X(add_ContainsFullScreenElementChanged, (ICoreWebView2ContainsFullScreenElementChangedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_ContainsFullScreenElementChanged, (EventRegistrationToken token)) \
  X(get_ContainsFullScreenElement, (BOOL* containsFullScreenElement)) \
  X(add_WebResourceRequested, (ICoreWebView2WebResourceRequestedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_WebResourceRequested, (EventRegistrationToken token)) \
  X(AddWebResourceRequestedFilter, (LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext)) \
  X(RemoveWebResourceRequestedFilter, (LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext)) \
  X(add_WindowCloseRequested, (ICoreWebView2WindowCloseRequestedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_WindowCloseRequested, (EventRegistrationToken token))

#define QV_ICoreWebView2_2_METHODS(X) \
  X(add_WebResourceResponseReceived, (ICoreWebView2WebResourceResponseReceivedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_WebResourceResponseReceived, (EventRegistrationToken token)) \
  X(NavigateWithWebResourceRequest, (ICoreWebView2WebResourceRequest* request)) \
  X(add_DOMContentLoaded, (ICoreWebView2DOMContentLoadedEventHandler* eventHandler, EventRegistrationToken* token)) \
  X(remove_DOMContentLoaded, (EventRegistrationToken token)) \
  X(get_CookieManager, (ICoreWebView2CookieManager** cookieManager)) \
  X(get_Environment, (ICoreWebView2Environment** environment))

#define QV_ICoreWebView2_3_METHODS(X) \
  X(TrySuspend, (ICoreWebView2TrySuspendCompletedHandler* handler)) \
  X(Resume, ()) \
  X(get_IsSuspended, (BOOL* isSuspended)) \
  X(SetVirtualHostNameToFolderMapping, (LPCWSTR hostName, LPCWSTR folderPath, COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND accessKind)) \
  X(ClearVirtualHostNameToFolderMapping, (LPCWSTR hostName))

#define QV_ICoreWebView2Settings_METHODS(X) \
  X(get_IsScriptEnabled, (BOOL* isScriptEnabled)) \
  X(put_IsScriptEnabled, (BOOL isScriptEnabled)) \
  X(get_IsWebMessageEnabled, (BOOL* isWebMessageEnabled)) \
  X(put_IsWebMessageEnabled, (BOOL isWebMessageEnabled)) \
  X(get_AreDefaultScriptDialogsEnabled, (BOOL* areDefaultScriptDialogsEnabled)) \
  X(put_AreDefaultScriptDialogsEnabled, (BOOL areDefaultScriptDialogsEnabled)) \
  X(get_IsStatusBarEnabled, (BOOL* isStatusBarEnabled)) \
  X(put_IsStatusBarEnabled, (BOOL isStatusBarEnabled)) \
  X(get_AreDevToolsEnabled, (BOOL* areDevToolsEnabled)) \
  X(put_AreDevToolsEnabled, (BOOL areDevToolsEnabled)) \
  X(get_AreDefaultContextMenusEnabled, (BOOL* enabled)) \
  X(put_AreDefaultContextMenusEnabled, (BOOL enabled)) \
  X(get_AreHostObjectsAllowed, (BOOL* allowed)) \
  X(put_AreHostObjectsAllowed, (BOOL allowed)) \
  X(get_IsZoomControlEnabled, (BOOL* enabled)) \
  X(put_IsZoomControlEnabled, (BOOL enabled)) \
  X(get_IsBuiltInErrorPageEnabled, (BOOL* enabled)) \
  X(put_IsBuiltInErrorPageEnabled, (BOOL enabled))

#define QV_ICoreWebView2WebMessageReceivedEventArgs_METHODS(X) \
  X(get_Source, (LPWSTR* source)) \
  X(get_WebMessageAsJson, (LPWSTR* webMessageAsJson)) \
  X(TryGetWebMessageAsString, (LPWSTR* webMessageAsString))

#define QV_ICoreWebView2HttpHeadersCollectionIterator_METHODS(X) \
  X(GetCurrentHeader, (LPWSTR* name, LPWSTR* value)) \
  X(get_HasCurrentHeader, (BOOL* hasCurrent)) \
  X(MoveNext, (BOOL* hasNext))

#define QV_ICoreWebView2HttpRequestHeaders_METHODS(X) \
  X(GetHeader, (LPCWSTR name, LPWSTR* value)) \
  X(GetHeaders, (LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** iterator)) \
  X(Contains, (LPCWSTR name, BOOL* contains)) \
  X(SetHeader, (LPCWSTR name, LPCWSTR value)) \
  X(RemoveHeader, (LPCWSTR name)) \
  X(GetIterator, (ICoreWebView2HttpHeadersCollectionIterator** iterator))

#define QV_ICoreWebView2HttpResponseHeaders_METHODS(X) \
  X(AppendHeader, (LPCWSTR name, LPCWSTR value)) \
  X(Contains, (LPCWSTR name, BOOL* contains)) \
  X(GetHeader, (LPCWSTR name, LPWSTR* value)) \
  X(GetHeaders, (LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** iterator)) \
  X(GetIterator, (ICoreWebView2HttpHeadersCollectionIterator** iterator))

#define QV_ICoreWebView2WebResourceRequest_METHODS(X) \
  X(get_Uri, (LPWSTR* uri)) \
  X(put_Uri, (LPCWSTR uri)) \
  X(get_Method, (LPWSTR* method)) \
  X(put_Method, (LPCWSTR method)) \
  X(get_Content, (IStream** content)) \
  X(put_Content, (IStream* content)) \
  X(get_Headers, (ICoreWebView2HttpRequestHeaders** headers))

#define QV_ICoreWebView2WebResourceResponse_METHODS(X) \
  X(get_Content, (IStream** content)) \
  X(put_Content, (IStream* content)) \
  X(get_Headers, (ICoreWebView2HttpResponseHeaders** headers)) \
  X(get_StatusCode, (int* statusCode)) \
  X(put_StatusCode, (int statusCode)) \
  X(get_ReasonPhrase, (LPWSTR* reasonPhrase)) \
  X(put_ReasonPhrase, (LPCWSTR reasonPhrase))

#define QV_ICoreWebView2WebResourceRequestedEventArgs_METHODS(X) \
  X(get_Request, (ICoreWebView2WebResourceRequest** request)) \
  X(get_Response, (ICoreWebView2WebResourceResponse** response)) \
  X(put_Response, (ICoreWebView2WebResourceResponse* response)) \
  X(GetDeferral, (ICoreWebView2Deferral** deferral)) \
  X(get_ResourceContext, (COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context))

// The DevTools protocol path (Microsoft's WebView2.idl, base ICoreWebView2 since 1.0.622):
// a receiver per event name, events carrying the event's params object as JSON.
#define QV_ICoreWebView2DevToolsProtocolEventReceiver_METHODS(X) \
  X(add_DevToolsProtocolEventReceived, (ICoreWebView2DevToolsProtocolEventReceivedEventHandler* handler, EventRegistrationToken* token)) \
  X(remove_DevToolsProtocolEventReceived, (EventRegistrationToken token))

#define QV_ICoreWebView2DevToolsProtocolEventReceivedEventArgs_METHODS(X) \
  X(get_ParameterObjectAsJson, (LPWSTR* parameterObjectAsJson))

#define QV_ICoreWebView2EnvironmentOptions_METHODS(X) \
  X(get_AdditionalBrowserArguments, (LPWSTR* value)) \
  X(put_AdditionalBrowserArguments, (LPCWSTR value)) \
  X(get_Language, (LPWSTR* value)) \
  X(put_Language, (LPCWSTR value)) \
  X(get_TargetCompatibleBrowserVersion, (LPWSTR* value)) \
  X(put_TargetCompatibleBrowserVersion, (LPCWSTR value)) \
  X(get_AllowSingleSignOnUsingOSPrimaryAccount, (BOOL* allow)) \
  X(put_AllowSingleSignOnUsingOSPrimaryAccount, (BOOL allow))

#define QV_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler_METHODS(X) \
  X(Invoke, (HRESULT errorCode, ICoreWebView2Environment* createdEnvironment))
#define QV_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler_METHODS(X) \
  X(Invoke, (HRESULT errorCode, ICoreWebView2Controller* createdController))
#define QV_ICoreWebView2WebMessageReceivedEventHandler_METHODS(X) \
  X(Invoke, (ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args))
#define QV_ICoreWebView2ExecuteScriptCompletedHandler_METHODS(X) \
  X(Invoke, (HRESULT errorCode, LPCWSTR resultObjectAsJson))
#define QV_ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler_METHODS(X) \
  X(Invoke, (HRESULT errorCode, LPCWSTR id))
#define QV_ICoreWebView2CapturePreviewCompletedHandler_METHODS(X) \
  X(Invoke, (HRESULT errorCode))
#define QV_ICoreWebView2TrySuspendCompletedHandler_METHODS(X) \
  X(Invoke, (HRESULT errorCode, BOOL isSuccessful))
#define QV_ICoreWebView2WebResourceRequestedEventHandler_METHODS(X) \
  X(Invoke, (ICoreWebView2* sender, ICoreWebView2WebResourceRequestedEventArgs* args))
#define QV_ICoreWebView2ProcessFailedEventArgs_METHODS(X) \
  X(get_ProcessFailedKind, (COREWEBVIEW2_PROCESS_FAILED_KIND* processFailedKind))
#define QV_ICoreWebView2ProcessFailedEventHandler_METHODS(X) \
  X(Invoke, (ICoreWebView2* sender, ICoreWebView2ProcessFailedEventArgs* args))
// The event carries no arguments of its own: args is a plain IUnknown.
#define QV_ICoreWebView2NewBrowserVersionAvailableEventHandler_METHODS(X) \
  X(Invoke, (ICoreWebView2Environment* sender, IUnknown* args))
#define QV_ICoreWebView2CallDevToolsProtocolMethodCompletedHandler_METHODS(X) \
  X(Invoke, (HRESULT errorCode, LPCWSTR returnObjectAsJson))
#define QV_ICoreWebView2DevToolsProtocolEventReceivedEventHandler_METHODS(X) \
  X(Invoke, (ICoreWebView2* sender, ICoreWebView2DevToolsProtocolEventReceivedEventArgs* args))

// Every interface: name, base, published count of its own methods, published IID.
#define QV_WEBVIEW2_INTERFACES(X) \
  X(ICoreWebView2Environment, IUnknown, 5, 0xB96D755E, 0x0319, 0x4E92, 0xA2, 0x96, 0x23, 0x43, 0x6F, 0x46, 0xA1, 0xFC) \
  X(ICoreWebView2Controller, IUnknown, 23, 0x4D00C0D1, 0x9434, 0x4EB6, 0x80, 0x78, 0x86, 0x97, 0xA5, 0x60, 0x33, 0x4F) \
  X(ICoreWebView2Controller2, ICoreWebView2Controller, 2, 0xC979903E, 0xD4CA, 0x4228, 0x92, 0xEB, 0x47, 0xEE, 0x3F, 0xA9, 0x6E, 0xAB) \
  X(ICoreWebView2, IUnknown, 58, 0x76ECEACB, 0x0462, 0x4D94, 0xAC, 0x83, 0x42, 0x3A, 0x67, 0x93, 0x77, 0x5E) \
  X(ICoreWebView2_2, ICoreWebView2, 7, 0x9E8F0CF8, 0xE670, 0x4B5E, 0xB2, 0xBC, 0x73, 0xE0, 0x61, 0xE3, 0x18, 0x4C) \
  X(ICoreWebView2_3, ICoreWebView2_2, 5, 0xA0D6DF20, 0x3B92, 0x416D, 0xAA, 0x0C, 0x43, 0x7A, 0x9C, 0x72, 0x78, 0x57) \
  X(ICoreWebView2Settings, IUnknown, 18, 0xE562E4F0, 0xD7FA, 0x43AC, 0x8D, 0x71, 0xC0, 0x51, 0x50, 0x49, 0x9F, 0x00) \
  X(ICoreWebView2WebMessageReceivedEventArgs, IUnknown, 3, 0x0F99A40C, 0xE962, 0x4207, 0x9E, 0x92, 0xE3, 0xD5, 0x42, 0xEF, 0xF8, 0x49) \
  X(ICoreWebView2EnvironmentOptions, IUnknown, 8, 0x2FDE08A8, 0x1E9A, 0x4766, 0x8C, 0x05, 0x95, 0xA9, 0xCE, 0xB9, 0xD1, 0xC5) \
  X(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, IUnknown, 1, 0x4E8A3389, 0xC9D8, 0x4BD2, 0xB6, 0xB5, 0x12, 0x4F, 0xEE, 0x6C, 0xC1, 0x4D) \
  X(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, IUnknown, 1, 0x6C4819F3, 0xC9B7, 0x4260, 0x81, 0x27, 0xC9, 0xF5, 0xBD, 0xE7, 0xF6, 0x8C) \
  X(ICoreWebView2WebMessageReceivedEventHandler, IUnknown, 1, 0x57213F19, 0x00E6, 0x49FA, 0x8E, 0x07, 0x89, 0x8E, 0xA0, 0x1E, 0xCB, 0xD2) \
  X(ICoreWebView2ExecuteScriptCompletedHandler, IUnknown, 1, 0x49511172, 0xCC67, 0x4BCA, 0x99, 0x23, 0x13, 0x71, 0x12, 0xF4, 0xC4, 0xCC) \
  X(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, IUnknown, 1, 0xB99369F3, 0x9B11, 0x47B5, 0xBC, 0x6F, 0x8E, 0x78, 0x95, 0xFC, 0xEA, 0x17) \
  X(ICoreWebView2CapturePreviewCompletedHandler, IUnknown, 1, 0x697E05E9, 0x3D8F, 0x45FA, 0x96, 0xF4, 0x8F, 0xFE, 0x1E, 0xDE, 0xDA, 0xF5) \
  X(ICoreWebView2TrySuspendCompletedHandler, IUnknown, 1, 0x00F206A7, 0x9D17, 0x4605, 0x91, 0xF6, 0x4E, 0x8E, 0x4D, 0xE1, 0x92, 0xE3) \
  X(ICoreWebView2HttpHeadersCollectionIterator, IUnknown, 3, 0x0702FC30, 0xF43B, 0x47BB, 0xAB, 0x52, 0xA4, 0x2C, 0xB5, 0x52, 0xAD, 0x9F) \
  X(ICoreWebView2HttpRequestHeaders, IUnknown, 6, 0xE86CAC0E, 0x5523, 0x465C, 0xB5, 0x36, 0x8F, 0xB9, 0xFC, 0x8C, 0x8C, 0x60) \
  X(ICoreWebView2HttpResponseHeaders, IUnknown, 5, 0x03C5FF5A, 0x9B45, 0x4A88, 0x88, 0x1C, 0x89, 0xA9, 0xF3, 0x28, 0x61, 0x9C) \
  X(ICoreWebView2WebResourceRequest, IUnknown, 7, 0x97055CD4, 0x512C, 0x4264, 0x8B, 0x5F, 0xE3, 0xF4, 0x46, 0xCE, 0xA6, 0xA5) \
  X(ICoreWebView2WebResourceResponse, IUnknown, 7, 0xAAFCC94F, 0xFA27, 0x48FD, 0x97, 0xDF, 0x83, 0x0E, 0xF7, 0x5A, 0xAE, 0xC9) \
  X(ICoreWebView2WebResourceRequestedEventArgs, IUnknown, 5, 0x453E667F, 0x12C7, 0x49D4, 0xBE, 0x6D, 0xDD, 0xBE, 0x79, 0x56, 0xF5, 0x7A) \
  X(ICoreWebView2WebResourceRequestedEventHandler, IUnknown, 1, 0xAB00B74C, 0x15F1, 0x4646, 0x80, 0xE8, 0xE7, 0x63, 0x41, 0xD2, 0x5D, 0x71) \
  X(ICoreWebView2ProcessFailedEventArgs, IUnknown, 1, 0x8155A9A4, 0x1474, 0x4A86, 0x8C, 0xAE, 0x15, 0x1B, 0x0F, 0xA6, 0xB8, 0xCA) \
  X(ICoreWebView2ProcessFailedEventHandler, IUnknown, 1, 0x79E0AEA4, 0x990B, 0x42D9, 0xAA, 0x1D, 0x0F, 0xCC, 0x2E, 0x5B, 0xC7, 0xF1) \
  X(ICoreWebView2NewBrowserVersionAvailableEventHandler, IUnknown, 1, 0xF9A2976E, 0xD34E, 0x44FC, 0xAD, 0xEE, 0x81, 0xB6, 0xB5, 0x7C, 0xA9, 0x14) \
  X(ICoreWebView2CallDevToolsProtocolMethodCompletedHandler, IUnknown, 1, 0x5C4889F0, 0x5EF6, 0x4C5A, 0x95, 0x2C, 0xD8, 0xF1, 0xB9, 0x2D, 0x05, 0x74) \
  X(ICoreWebView2DevToolsProtocolEventReceiver, IUnknown, 2, 0xB32CA51A, 0x8371, 0x45E9, 0x93, 0x17, 0xAF, 0x02, 0x1D, 0x08, 0x03, 0x67) \
  X(ICoreWebView2DevToolsProtocolEventReceivedEventHandler, IUnknown, 1, 0xE2FDA4BE, 0x5456, 0x406C, 0xA2, 0x61, 0x3D, 0x45, 0x21, 0x38, 0x36, 0x2C) \
  X(ICoreWebView2DevToolsProtocolEventReceivedEventArgs, IUnknown, 1, 0x653C2959, 0xBB3A, 0x4377, 0x86, 0x32, 0xB5, 0x8A, 0xDA, 0x4E, 0x66, 0xC4)
// clang-format on

// Slot counts of the bases, so each derived slot enum continues where its base ends.
enum : int { IUnknownSlotCount = 3 };

#define QV_WEBVIEW2_PURE_METHOD(name, params) virtual HRESULT STDMETHODCALLTYPE name params = 0;
#define QV_WEBVIEW2_SLOT(name, params) name,
#define QV_WEBVIEW2_COUNT(name, params) +1

#define QV_WEBVIEW2_DECLARE(Interface, Base, count, ...)                                          \
  struct Interface : public Base {                                                                \
    QV_##Interface##_METHODS(QV_WEBVIEW2_PURE_METHOD)                                             \
  };                                                                                              \
  inline constexpr IID IID_##Interface = {__VA_ARGS__};                                           \
  struct Interface##Slot {                                                                        \
    enum : int { BeforeFirst = Base##SlotCount - 1, QV_##Interface##_METHODS(QV_WEBVIEW2_SLOT) }; \
  };                                                                                              \
  enum : int {                                                                                    \
    Interface##SlotCount = Base##SlotCount QV_##Interface##_METHODS(QV_WEBVIEW2_COUNT)            \
  };                                                                                              \
  static_assert((0 QV_##Interface##_METHODS(QV_WEBVIEW2_COUNT)) == (count),                       \
                #Interface " must declare every method of the published vtable");

QV_WEBVIEW2_INTERFACES(QV_WEBVIEW2_DECLARE)

#undef QV_WEBVIEW2_DECLARE
#undef QV_WEBVIEW2_COUNT
#undef QV_WEBVIEW2_SLOT
#undef QV_WEBVIEW2_PURE_METHOD

// Absolute slots of the methods the host calls, as the published vtables number them.
static_assert(ICoreWebView2EnvironmentSlot::CreateCoreWebView2Controller == 3, "slot");
static_assert(ICoreWebView2EnvironmentSlot::get_BrowserVersionString == 5, "slot");
static_assert(ICoreWebView2EnvironmentSlot::add_NewBrowserVersionAvailable == 6, "slot");
static_assert(ICoreWebView2EnvironmentSlot::remove_NewBrowserVersionAvailable == 7, "slot");
static_assert(ICoreWebView2ControllerSlot::put_IsVisible == 4, "slot");
static_assert(ICoreWebView2ControllerSlot::put_Bounds == 6, "slot");
static_assert(ICoreWebView2ControllerSlot::NotifyParentWindowPositionChanged == 23, "slot");
static_assert(ICoreWebView2ControllerSlot::Close == 24, "slot");
static_assert(ICoreWebView2ControllerSlot::get_CoreWebView2 == 25, "slot");
static_assert(ICoreWebView2Controller2Slot::put_DefaultBackgroundColor == 27, "slot");
static_assert(ICoreWebView2Slot::get_Settings == 3, "slot");
static_assert(ICoreWebView2Slot::Navigate == 5, "slot");
static_assert(ICoreWebView2Slot::NavigateToString == 6, "slot");
static_assert(ICoreWebView2Slot::add_ProcessFailed == 25, "slot");
static_assert(ICoreWebView2Slot::remove_ProcessFailed == 26, "slot");
static_assert(ICoreWebView2Slot::AddScriptToExecuteOnDocumentCreated == 27, "slot");
static_assert(ICoreWebView2Slot::Reload == 31, "slot");
static_assert(ICoreWebView2Slot::ExecuteScript == 29, "slot");
static_assert(ICoreWebView2Slot::CapturePreview == 30, "slot");
static_assert(ICoreWebView2Slot::PostWebMessageAsJson == 32, "slot");
static_assert(ICoreWebView2Slot::PostWebMessageAsString == 33, "slot");
static_assert(ICoreWebView2Slot::add_WebMessageReceived == 34, "slot");
static_assert(ICoreWebView2Slot::remove_WebMessageReceived == 35, "slot");
static_assert(ICoreWebView2Slot::remove_WindowCloseRequested == 60, "slot");
static_assert(ICoreWebView2_2Slot::get_Environment == 67, "slot");
static_assert(ICoreWebView2_3Slot::SetVirtualHostNameToFolderMapping == 71, "slot");
static_assert(ICoreWebView2_3SlotCount == 73, "slot");
static_assert(ICoreWebView2SettingsSlot::put_IsScriptEnabled == 4, "slot");
static_assert(ICoreWebView2SettingsSlot::put_IsWebMessageEnabled == 6, "slot");
static_assert(ICoreWebView2SettingsSlot::put_IsStatusBarEnabled == 10, "slot");
static_assert(ICoreWebView2SettingsSlot::put_AreDevToolsEnabled == 12, "slot");
static_assert(ICoreWebView2SettingsSlot::put_AreDefaultContextMenusEnabled == 14, "slot");
static_assert(ICoreWebView2WebMessageReceivedEventArgsSlot::get_Source == 3, "slot");
static_assert(ICoreWebView2WebMessageReceivedEventArgsSlot::get_WebMessageAsJson == 4, "slot");
static_assert(ICoreWebView2WebMessageReceivedEventArgsSlot::TryGetWebMessageAsString == 5, "slot");
static_assert(ICoreWebView2EnvironmentOptionsSlot::put_AllowSingleSignOnUsingOSPrimaryAccount == 10,
              "slot");
static_assert(ICoreWebView2CapturePreviewCompletedHandlerSlot::Invoke == 3, "slot");
static_assert(ICoreWebView2Slot::add_WebResourceRequested == 55, "slot");
static_assert(ICoreWebView2Slot::remove_WebResourceRequested == 56, "slot");
static_assert(ICoreWebView2Slot::AddWebResourceRequestedFilter == 57, "slot");
static_assert(ICoreWebView2Slot::RemoveWebResourceRequestedFilter == 58, "slot");
static_assert(ICoreWebView2EnvironmentSlot::CreateWebResourceResponse == 4, "slot");
static_assert(ICoreWebView2HttpRequestHeadersSlot::GetHeader == 3, "slot");
static_assert(ICoreWebView2HttpRequestHeadersSlot::Contains == 5, "slot");
static_assert(ICoreWebView2HttpRequestHeadersSlot::GetIterator == 8, "slot");
static_assert(ICoreWebView2HttpHeadersCollectionIteratorSlot::MoveNext == 5, "slot");
static_assert(ICoreWebView2WebResourceRequestSlot::get_Uri == 3, "slot");
static_assert(ICoreWebView2WebResourceRequestSlot::get_Method == 5, "slot");
static_assert(ICoreWebView2WebResourceRequestSlot::get_Headers == 9, "slot");
static_assert(ICoreWebView2WebResourceResponseSlot::get_Headers == 5, "slot");
static_assert(ICoreWebView2WebResourceResponseSlot::put_ReasonPhrase == 9, "slot");
static_assert(ICoreWebView2WebResourceRequestedEventArgsSlot::get_Request == 3, "slot");
static_assert(ICoreWebView2WebResourceRequestedEventArgsSlot::put_Response == 5, "slot");
static_assert(ICoreWebView2WebResourceRequestedEventArgsSlot::get_ResourceContext == 7, "slot");
static_assert(ICoreWebView2ProcessFailedEventArgsSlot::get_ProcessFailedKind == 3, "slot");
static_assert(ICoreWebView2ProcessFailedEventHandlerSlot::Invoke == 3, "slot");
static_assert(ICoreWebView2NewBrowserVersionAvailableEventHandlerSlot::Invoke == 3, "slot");
static_assert(ICoreWebView2Slot::CallDevToolsProtocolMethod == 36, "slot");
static_assert(ICoreWebView2Slot::GetDevToolsProtocolEventReceiver == 42, "slot");
static_assert(ICoreWebView2DevToolsProtocolEventReceiverSlot::add_DevToolsProtocolEventReceived == 3,
              "slot");
static_assert(ICoreWebView2DevToolsProtocolEventReceiverSlot::remove_DevToolsProtocolEventReceived ==
                  4,
              "slot");
static_assert(ICoreWebView2DevToolsProtocolEventReceivedEventArgsSlot::get_ParameterObjectAsJson ==
                  3,
              "slot");
static_assert(ICoreWebView2CallDevToolsProtocolMethodCompletedHandlerSlot::Invoke == 3, "slot");

// A pure interface is exactly one vtable pointer; anything else means a destructor, a data
// member or a second base crept in.
static_assert(sizeof(ICoreWebView2_3) == sizeof(void*), "single vtable pointer");
static_assert(sizeof(ICoreWebView2Controller2) == sizeof(void*), "single vtable pointer");
