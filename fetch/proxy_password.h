#pragma once

#include <windows.h>
#include <wininet.h>

// A proxy that asks for a password (407) gets it from the user through
// the system's own prompt, once per run: Windows keeps what the prompt
// took on the request it asked for, Wine on that session, so the setup
// keeps the name and password itself and hands them to every later
// request, whichever session it is on.

// The window that owns the prompt (the wizard); none: no prompt shows and
// a 407 stays a refusal.
void SetProxyPromptOwner(HWND owner);

// After a reply of 407 on request: the prompt, unless the user refused it
// already in this run. True when a name and password were given: the
// request is then made again, on a new handle (Wine sends a retry on the
// old one into the proxy's refused tunnel).
bool AskProxyPassword(HINTERNET request);

// Whether a prompt is showing now: a time limit does not run meanwhile.
bool ProxyPromptShowing();

// The name and password given, set on a new request before it is sent.
void ProxyPasswordOnto(HINTERNET request);
