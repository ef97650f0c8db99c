// The watch on the session bus connection.
#include "bus/BusLossWatch.h"

#include <utility>

namespace ov {

TBusLossWatch::TBusLossWatch(QDBusConnection connection, std::chrono::milliseconds interval,
                             QObject* parent)
    : QObject(parent), connection_(std::move(connection)) {
    timer_.setInterval(static_cast<int>(interval.count()));
    connect(&timer_, &QTimer::timeout, this, &TBusLossWatch::Check);
    timer_.start();
}

void TBusLossWatch::Check() {
    if (lost_ || connection_.isConnected()) return;
    lost_ = true;
    timer_.stop();
    Q_EMIT Lost();
}

}  // namespace ov
