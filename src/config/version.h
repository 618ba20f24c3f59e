#pragma once

// The program's name and version as the user sees them.
#define PACKAGE_NAME "quarn"
#define PACKAGE_VERSION "1.37.0"
#define PACKAGE_STRING PACKAGE_NAME "/" PACKAGE_VERSION
