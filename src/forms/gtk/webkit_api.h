// WebKitGTK, bound at run time like GTK, for the help window's browser view.
// The 4.0 interface uses libsoup 2 and the 4.1 interface libsoup 3; the two
// libsoups in one process abort it, so the interface is chosen by what the
// process already holds.
#pragma once

#include <webkit2/webkit2.h>

#include <string>

namespace zorvane {

#define ZORVANE_WEBKIT_FUNCTIONS(X)                                                            \
  X(webkit_web_view_new) X(webkit_web_view_load_uri)                                          \
  X(webkit_navigation_policy_decision_get_navigation_action)                                  \
  X(webkit_navigation_action_get_request) X(webkit_navigation_action_get_navigation_type)     \
  X(webkit_uri_request_get_uri) X(webkit_policy_decision_ignore)

struct TWebKit {
#define ZORVANE_WEBKIT_ENTRY(name) decltype(&::name) name = nullptr;
  ZORVANE_WEBKIT_FUNCTIONS(ZORVANE_WEBKIT_ENTRY)
#undef ZORVANE_WEBKIT_ENTRY
  const char* Library = "";  // the file it came from
};

// The WebKitGTK that can be used here (GTK 3 bound first), or null with the
// reason in why: none installed, or only one whose libsoup would clash.
const TWebKit* WebKit(std::string& why);

// Gives back the binding's memory at unload (the library stays loaded).
void ReleaseWebKitBinding();

}  // namespace zorvane
