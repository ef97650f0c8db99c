// ovsetup's bus object: the setup server's calls and events (OVSetup.IOVSetupCom,
// OVSetup.IOVSetupComEvents) and its own commands (OVSetup.Control) at /OVSetupCom.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <atomic>
#include <filesystem>
#include <string>

#include "bus/BusObject.h"
#include "busnames/BusNames.h"
#include "suite/SetupSettingsFile.h"

namespace ov {

class TSetupService {
  public:
    // Serves settings read from file (empty: the defaults, there being no file); events carry
    // appId. Not loaded until MarkLoaded: until then every key answers "ERROR" and the
    // settings arrays are empty.
    TSetupService(QDBusConnection connection, std::filesystem::path file, TSetupSettings settings,
                  QString appId);
    ~TSetupService();
    TSetupService(const TSetupService&) = delete;
    TSetupService& operator=(const TSetupService&) = delete;

    // Exports the object; false with error when the path or the bus name is taken. The calls
    // are answered in QtDBus's connection thread, which alone touches the settings.
    bool Start(std::string& error);
    void MarkLoaded() { loaded_ = true; }  // any thread

    // Reads the file again; on a fault the settings in force stay and error says why.
    bool Reload(std::string& error);
    // Sends one of the events: item and data only with seItemChange.
    void SendEvent(TSetupEvent event, const QString& item = {}, const QString& data = {});

  private:
    QDBusConnection connection_;
    std::filesystem::path file_;
    TSetupSettings settings_;  // the bus thread's only, once started
    QString appId_;
    std::atomic<bool> loaded_{false};
    TBusObject object_;
};

}  // namespace ov
