// vorn-lsp's host around the core: framed messages on a pair of file descriptors, read by a
// thread of their own into an Inbox, and the stop checks drawn from what waits there.
#pragma once

#include <vorn/sources.h>

#include "transport.h"

namespace lsp {

// Serves until exit or the end of the input; returns the exit status. Compiles wait until
// the messages read are handled, so a burst of changes costs one compile; a change read while
// it runs abandons it, and a request cancelled while it waits for its compile is answered
// with RequestCancelled.
int serve(Transport& transport, vorn::SourceProvider& files);

}  // namespace lsp
