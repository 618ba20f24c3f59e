#pragma once

#include <libintl.h>

// Marks a message as translated through the "quarn" text domain.
#define _(msgid) gettext(msgid)
