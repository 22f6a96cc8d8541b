// TrayMenuExporter: menu 200 as a com.canonical.dbusmenu object. A
// StatusNotifierItem host shows it as the icon's menu, as a popup of its own
// at the icon, so the program opens no window for it. A click on an item
// reaches the owner as the item's command number once the host's call has
// been answered. Qt shell glue; the items are fixed while it runs.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

#include "ui/DBusTrayTypes.h"

class QMenu;

namespace kivo {

class TrayMenuExporter : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
  Q_PROPERTY(uint Version READ Version)
  Q_PROPERTY(QString TextDirection READ TextDirection)
  Q_PROPERTY(QString Status READ Status)
  Q_PROPERTY(QStringList IconThemePath READ IconThemePath)

 public:
  static constexpr int kRootId = 0;

  explicit TrayMenuExporter(QObject* parent = nullptr);

  // Takes the items of a menu whose actions carry their command numbers;
  // item ids count from 1 in the menu's order.
  void SetEntries(const QMenu& menu);
  // A Qt text with its '&' mnemonic as dbusmenu writes it ('_').
  static QString DBusMenuLabel(const QString& text);

  uint Version() const { return 3; }
  QString TextDirection() const { return QStringLiteral("ltr"); }
  QString Status() const { return QStringLiteral("normal"); }
  QStringList IconThemePath() const { return {}; }

 public slots:
  Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                              kivo::DBusMenuLayoutItem& layout);
  Q_SCRIPTABLE kivo::DBusMenuItemList GetGroupProperties(const QList<int>& ids,
                                                         const QStringList& propertyNames);
  Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString& name);
  Q_SCRIPTABLE void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
  Q_SCRIPTABLE QList<int> EventGroup(const kivo::DBusMenuEventList& events);
  Q_SCRIPTABLE bool AboutToShow(int id);
  Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

 signals:
  Q_SCRIPTABLE void ItemsPropertiesUpdated(const kivo::DBusMenuItemList& updatedProps,
                                           const kivo::DBusMenuItemKeysList& removedProps);
  Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);
  Q_SCRIPTABLE void ItemActivationRequested(int id, uint timestamp);
  // Not on the bus: an item was clicked.
  void CommandChosen(int command);

 private:
  struct Entry {
    int id;
    QString label;
    int command;
    bool separator;
  };
  const Entry* Find(int id) const;
  QVariantMap Properties(int id, const QStringList& names) const;
  DBusMenuLayoutItem Layout(int id, int depth, const QStringList& names) const;

  std::vector<Entry> entries_;
  uint revision_ = 1;
};

}  // namespace kivo
