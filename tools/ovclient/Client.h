// What ovclient's commands share: reaching OV Calc on the session bus, calling its objects and
// reporting errors and answers.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QString>
#include <QVariant>
#include <string>
#include <string_view>

#include "busnames/BusNames.h"
#include "qttext/QtText.h"

namespace ovclient {

// Calls answer at once; only the refresh takes longer (it passes its own time-out).
inline constexpr int CallTimeoutMs = 25000;

using ov::QtText;

// Writes "ovclient: message" to standard error: the exit status 1.
int Fail(const std::string& message);
int NotRunning();
// Writes text and a line end to standard output, at once.
void Print(const QString& text);

// The session bus with OV Calc on it; 0, or the exit status of the error reported.
int ConnectBus(QDBusConnection& bus);

// Calls member of interface on OV Calc's object at path: the reply, or an error reported
// (status non-zero, reply of type ErrorMessage).
QDBusMessage CallObject(QDBusConnection& bus, std::string_view path, std::string_view interface,
                        const QString& member, const QList<QVariant>& arguments, int& status,
                        int timeoutMs = CallTimeoutMs);
// The same on the automation object.
inline QDBusMessage Call(QDBusConnection& bus, std::string_view interface, const QString& member,
                         const QList<QVariant>& arguments, int& status,
                         int timeoutMs = CallTimeoutMs) {
    return CallObject(bus, ov::CalcObjectPath, interface, member, arguments, status, timeoutMs);
}

}  // namespace ovclient
