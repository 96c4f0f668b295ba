#pragma once

// <xcb/xkb.h> names a struct field `explicit`, a C++ keyword; it is renamed while the
// header is read.
#include <xcb/xcb.h>
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
