// DBusTrayTypes: the D-Bus structures of a StatusNotifierItem (icon pixmaps,
// tool tip) and of its com.canonical.dbusmenu menu (layout, item properties,
// events), with their marshalling. Qt shell glue; registered once with
// RegisterDBusTrayTypes before any is sent.
#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QIcon>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace kivo {

// (iiay): ARGB32 pixels in network byte order.
struct SniIconPixmap {
  int width = 0;
  int height = 0;
  QByteArray bytes;
};
using SniIconPixmapList = QList<SniIconPixmap>;

// (sa(iiay)ss)
struct SniToolTip {
  QString iconName;
  SniIconPixmapList icon;
  QString title;
  QString text;
};

// (ia{sv}av): a menu item with its children, each child in a variant.
struct DBusMenuLayoutItem {
  int id = 0;
  QVariantMap properties;
  QList<DBusMenuLayoutItem> children;
};

// (ia{sv})
struct DBusMenuItem {
  int id = 0;
  QVariantMap properties;
};
using DBusMenuItemList = QList<DBusMenuItem>;

// (ias)
struct DBusMenuItemKeys {
  int id = 0;
  QStringList properties;
};
using DBusMenuItemKeysList = QList<DBusMenuItemKeys>;

// (isvu)
struct DBusMenuEvent {
  int id = 0;
  QString eventId;
  QDBusVariant data;
  uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

// The icon at the sizes hosts ask for (16 to 64 pixels).
SniIconPixmapList IconPixmaps(const QIcon& icon);

// Registers the types above with Qt's D-Bus type system; safe to call again.
void RegisterDBusTrayTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const SniIconPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniIconPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemKeys& keys);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemKeys& keys);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

}  // namespace kivo

Q_DECLARE_METATYPE(kivo::SniIconPixmap)
Q_DECLARE_METATYPE(kivo::SniToolTip)
Q_DECLARE_METATYPE(kivo::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(kivo::DBusMenuItem)
Q_DECLARE_METATYPE(kivo::DBusMenuItemKeys)
Q_DECLARE_METATYPE(kivo::DBusMenuEvent)
