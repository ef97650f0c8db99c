// The session bus connection of a program's main thread, delivering in order from the start.
#pragma once

#include <QDBusConnection>

namespace ov {

// QtDBus's default session connection, first asked for in the main thread before its event
// loop runs, holds back every incoming message until the loop starts, and then hands on a
// message arriving at that moment before those it held back: a call or a signal out of order.
// This returns that connection with its delivery already started (nothing is held back), so a
// program asks for it here first, before it exports objects, owns a name or subscribes.
QDBusConnection StartedSessionBus();

}  // namespace ov
