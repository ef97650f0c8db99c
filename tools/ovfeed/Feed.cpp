// ovfeed's bus side.
#include "Feed.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QStringDecoder>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <utility>

#include "suite/dbus/BusSignalReceiver.h"

namespace ov {
namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Lines in one go before the event loop serves the bus again.
constexpr int PumpBatch = 256;
// Sent signals between two round trips to the bus, which keep the queue of unsent messages
// short however fast the lines come.
constexpr long long SyncEvery = 1024;

// The line as bus text: UTF-8 when it is well-formed, else 8-bit text, byte for code point.
QString LineText(const std::string& line) {
    QByteArray bytes(line.data(), static_cast<qsizetype>(line.size()));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) text = QString::fromLatin1(bytes);
    return text;
}

// Splits "ITEM DATA": the item up to the first blank, the data after that blank as it stands.
// False for a line to skip (empty, or a comment beginning with "#").
bool SplitLine(std::string line, QString& item, QString& data) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t begin = line.find_first_not_of(" \t");
    if (begin == std::string::npos || line[begin] == '#') return false;
    std::size_t end = line.find_first_of(" \t", begin);
    if (end == std::string::npos) {
        item = LineText(line.substr(begin));
        data.clear();
    } else {
        item = LineText(line.substr(begin, end - begin));
        data = LineText(line.substr(end + 1));
    }
    return true;
}

}  // namespace

TFeed::TFeed(QDBusConnection connection, TFeedOptions options)
    : connection_(std::move(connection)),
      options_(std::move(options)),
      object_({options_.Source->Interface, options_.Source->EventsInterface}),
      path_(Q(options_.Source->ObjectPath)),
      events_(Q(options_.Source->EventsInterface)),
      clients_(std::make_unique<QDBusServiceWatcher>()),
      timer_(std::make_unique<QTimer>()) {
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { Pump(); });
    clients_->setConnection(connection_);
    clients_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(clients_.get(), &QDBusServiceWatcher::serviceUnregistered,
                     [this](const QString& client) { ClientGone(client); });

    object_.AddMethod(options_.Source->Interface, "LinkItem", "ss",
                      [this](const QDBusMessage& call) {
                          const QString client = call.service();
                          const QString appId = call.arguments().at(0).toString();
                          const QString item = call.arguments().at(1).toString().toUpper();
                          if (links_.find(client) == links_.end()) {
                              clients_->addWatchedService(client);
                          }
                          links_[client].insert(item);
                          linkAppIds_[client] = appId;
                          std::fprintf(stderr, "ovfeed: %s (%s) linked %s\n",
                                       qPrintable(client), qPrintable(appId),
                                       qPrintable(item));
                          if (haveHeld_ && heldItem_.toUpper() == item) {
                              // The held line may go now; the rate restarts from here.
                              QTimer::singleShot(0, QCoreApplication::instance(),
                                                 [this] { Pump(); });
                          }
                          return call.createReply();
                      });
}

TFeed::~TFeed() {
    connection_.unregisterObject(path_);
}

bool TFeed::Start(std::string& error) {
    if (!object_.Register(connection_, path_)) {
        error = "cannot export " + std::string(options_.Source->ObjectPath);
        return false;
    }
    auto reply = connection_.interface()->registerService(
        Q(options_.Source->BusName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        error = reply.isValid() ? std::string(options_.Source->BusName) +
                                      " is already owned by another program"
                                : "cannot own " + std::string(options_.Source->BusName) + ": " +
                                      reply.error().message().toStdString();
        connection_.unregisterObject(path_);
        return false;
    }
    return true;
}

void TFeed::Run(std::unique_ptr<TLineSource> lines) {
    lines_ = std::move(lines);
    lines_->Start();
    clock_.start();
    QTimer::singleShot(0, QCoreApplication::instance(), [this] { Pump(); });
}

bool TFeed::Linked(const QString& item) const {
    const QString upper = item.toUpper();
    for (const auto& [client, items] : links_) {
        if (items.count(upper) > 0) return true;
    }
    return false;
}

void TFeed::ClientGone(const QString& client) {
    links_.erase(client);
    linkAppIds_.erase(client);
    clients_->removeWatchedService(client);
}

void TFeed::Emit(const QString& item, const QString& data) {
    QDBusMessage signal =
        QDBusMessage::createSignal(path_, events_, Q(ItemChangeSignal));
    signal << options_.AppId << item << data;
    connection_.send(signal);
    ++sent_;
    if (sent_ % SyncEvery == 0) SyncWithBus(connection_);
}

void TFeed::Pump() {
    if (finished_) return;
    for (int batch = 0; batch < PumpBatch; ++batch) {
        if (!haveHeld_) {
            std::string line;
            TLineSource::TTake took = lines_->Take(line);
            if (took == TLineSource::tkNone) return;  // the reader calls Pump again
            if (took == TLineSource::tkEnd) {
                Finish();
                return;
            }
            if (!SplitLine(std::move(line), heldItem_, heldData_)) continue;
            haveHeld_ = true;
        }
        if (options_.WaitLink && !Linked(heldItem_)) {
            // LinkItem calls Pump again; the rate counts from the moment the line goes.
            heldForLink_ = true;
            return;
        }
        if (heldForLink_) {
            // A clock that ran on while the line waited would let the lines after it out at
            // once until they caught up with the rate.
            heldForLink_ = false;
            rateBase_ = sent_;
            clock_.restart();
        }
        if (options_.Rate > 0) {
            // Line n after the clock's start is due at n / rate seconds.
            const double due = static_cast<double>(sent_ - rateBase_) / options_.Rate;
            const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
            if (due > now) {
                timer_->start(static_cast<int>(std::ceil((due - now) * 1000)));
                return;
            }
        }
        Emit(heldItem_, heldData_);
        haveHeld_ = false;
    }
    QTimer::singleShot(0, QCoreApplication::instance(), [this] { Pump(); });
}

void TFeed::Finish() {
    finished_ = true;
    if (options_.Shutdown) {
        QDBusMessage signal = QDBusMessage::createSignal(path_, events_, Q(AppShutdownSignal));
        signal << options_.AppId;
        connection_.send(signal);
    }
    // Everything sent has reached the bus before the count is told.
    SyncWithBus(connection_);
    std::printf("ovfeed: %lld lines sent\n", sent_);
    std::fflush(stdout);
    if (!options_.Stay) QCoreApplication::quit();
}

}  // namespace ov
