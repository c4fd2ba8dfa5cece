#pragma once

// The one place the library meets the cloud classroom client library: every cloud source
// includes this header, so a different build of the client drops in here (and in the
// `tessalyclient` link target) alone.

#include <tessaly/tessaly.h>
