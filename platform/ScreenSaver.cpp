// SPDX-License-Identifier: MIT
#include "platform/ScreenSaver.h"

#include "platform/SessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace korvane::platform {

namespace {

constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr uint kPortalInhibitIdle = 8;
constexpr int kBusTimeoutMs = 2000;

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QString application, QString reason)
    : application_(std::move(application)), reason_(std::move(reason)) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() { release(); }

bool ScreenSaverInhibitor::inhibitOnBus() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  // Desktops publish the interface at one of two paths.
  for (const char* path : {"/org/freedesktop/ScreenSaver", "/ScreenSaver"}) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, path, kService, "Inhibit");
    call << application_ << reason_;
    QDBusReply<uint> reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
    if (reply.isValid()) {
      cookie_ = reply.value();
      path_ = QString::fromLatin1(path);
      return true;
    }
    if (reply.error().type() == QDBusError::ServiceUnknown || reply.error().type() == QDBusError::NoReply)
      break;
  }
  return false;
}

bool ScreenSaverInhibitor::inhibitThroughPortal() {
  // The inhibition lasts until its request object is closed, or our connection ends.
  QDBusMessage call = QDBusMessage::createMethodCall(kPortal, "/org/freedesktop/portal/desktop",
                                                     "org.freedesktop.portal.Inhibit", "Inhibit");
  call << QString() << kPortalInhibitIdle << QVariantMap{{QStringLiteral("reason"), reason_}};
  QDBusReply<QDBusObjectPath> reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kBusTimeoutMs);
  if (!reply.isValid()) return false;
  path_ = reply.value().path();
  return true;
}

ScreenSaverInhibitor::Via ScreenSaverInhibitor::inhibit() {
  if (via_ != Via::Off) return via_;
  if (sessionBusAvailable() && QDBusConnection::sessionBus().isConnected()) {
    if (inhibitOnBus()) return via_ = Via::SessionBus;
    if (inhibitThroughPortal()) return via_ = Via::Portal;
  }
  // The server lifts the suspension when our connection closes, crash or not.
  display_ = XOpenDisplay(nullptr);
  int event = 0, error = 0;
  if (display_ && XScreenSaverQueryExtension(display_, &event, &error)) {
    XScreenSaverSuspend(display_, True);
    XFlush(display_);
    return via_ = Via::X11;
  }
  if (display_) XCloseDisplay(display_);
  display_ = nullptr;
  return via_;
}

void ScreenSaverInhibitor::release() {
  if (via_ == Via::SessionBus) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, path_, kService, "UnInhibit");
    call << cookie_;
    QDBusConnection::sessionBus().call(call, QDBus::Block, kBusTimeoutMs);
  } else if (via_ == Via::Portal) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kPortal, path_, "org.freedesktop.portal.Request", "Close");
    QDBusConnection::sessionBus().call(call, QDBus::Block, kBusTimeoutMs);
  } else if (via_ == Via::X11 && display_) {
    XScreenSaverSuspend(display_, False);
    XCloseDisplay(display_);
    display_ = nullptr;
  }
  via_ = Via::Off;
}

}  // namespace korvane::platform
