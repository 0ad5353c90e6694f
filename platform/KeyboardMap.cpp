// SPDX-License-Identifier: MIT
#include "platform/KeyboardMap.h"

#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <memory>

namespace korvane::platform {

namespace {

struct ContextFree {
  void operator()(xkb_context* c) const { xkb_context_unref(c); }
};
struct KeymapFree {
  void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
};

// Layout, variant, model and options from /etc/default/keyboard (the file the system's
// keyboard configuration writes), where the environment names none.
xkb_keymap* systemKeymap(xkb_context* context) {
  QByteArray layout, variant, model, options;
  QFile file(QStringLiteral("/etc/default/keyboard"));
  if (!std::getenv("XKB_DEFAULT_LAYOUT") && file.open(QIODevice::ReadOnly)) {
    static const QRegularExpression line(QStringLiteral("^\\s*XKB(LAYOUT|VARIANT|MODEL|OPTIONS)=\"?([^\"]*)\"?\\s*$"),
                                         QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();) {
      const auto m = it.next();
      QByteArray& field = m.captured(1) == QLatin1String("LAYOUT")    ? layout
                          : m.captured(1) == QLatin1String("VARIANT") ? variant
                          : m.captured(1) == QLatin1String("MODEL")   ? model
                                                                      : options;
      field = m.captured(2).toUtf8();
    }
  }
  // Empty fields take libxkbcommon's defaults (the XKB_DEFAULT_* variables, else "us").
  const xkb_rule_names names{nullptr, model.isEmpty() ? nullptr : model.constData(),
                             layout.isEmpty() ? nullptr : layout.constData(),
                             variant.isEmpty() ? nullptr : variant.constData(),
                             options.isEmpty() ? nullptr : options.constData()};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  return keymap ? keymap : xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
}

xkb_keymap* x11Keymap(xkb_context* context) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return nullptr;
  if (!xkb_x11_setup_xkb_extension(x11->connection(), XKB_X11_MIN_MAJOR_XKB_VERSION,
                                   XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                   nullptr, nullptr, nullptr, nullptr))
    return nullptr;
  const int32_t device = xkb_x11_get_core_keyboard_device_id(x11->connection());
  if (device < 0) return nullptr;
  return xkb_x11_keymap_new_from_device(context, x11->connection(), device, XKB_KEYMAP_COMPILE_NO_FLAGS);
}

xkb_keymap* keymap() {
  // Built once, on the GUI thread that delivers the keys.
  static std::unique_ptr<xkb_context, ContextFree> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
  static std::unique_ptr<xkb_keymap, KeymapFree> map = [] {
    xkb_keymap* k = context ? x11Keymap(context.get()) : nullptr;
    if (!k && context) k = systemKeymap(context.get());
    return std::unique_ptr<xkb_keymap, KeymapFree>(k);
  }();
  return map.get();
}

}  // namespace

std::optional<unsigned long> unshiftedKeysym(unsigned scanCode) {
  xkb_keymap* map = keymap();
  if (!map || scanCode < xkb_keymap_min_keycode(map) || scanCode > xkb_keymap_max_keycode(map))
    return std::nullopt;
  const xkb_keysym_t* syms = nullptr;
  if (xkb_keymap_key_get_syms_by_level(map, scanCode, 0, 0, &syms) < 1) return std::nullopt;
  return syms[0];
}

}  // namespace korvane::platform
