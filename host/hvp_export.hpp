// Visibility of the host framework's classes.
//
// The plug-in is compiled with hidden visibility, but the host's interface
// classes must keep default visibility: their type information has to be one
// object across the library boundary, so that the host can cross-cast the
// registered plug-in and catch the exceptions it throws, and the plug-in can
// catch the host's THVPException.
#pragma once

#define HVP_API __attribute__((visibility("default")))
