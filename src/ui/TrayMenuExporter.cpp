// Menu 200 over com.canonical.dbusmenu.
#include "ui/TrayMenuExporter.h"

#include <QAction>
#include <QMenu>
#include <QMetaObject>

namespace kivo {

TrayMenuExporter::TrayMenuExporter(QObject* parent) : QObject(parent) {
  RegisterDBusTrayTypes();
}

void TrayMenuExporter::SetEntries(const QMenu& menu) {
  entries_.clear();
  int id = kRootId;
  for (const QAction* action : menu.actions()) {
    ++id;
    entries_.push_back({id, DBusMenuLabel(action->text()),
                        action->data().isValid() ? action->data().toInt() : 0, action->isSeparator()});
  }
  ++revision_;
  emit LayoutUpdated(revision_, kRootId);
}

QString TrayMenuExporter::DBusMenuLabel(const QString& text) {
  QString label;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'&' && i + 1 < text.size()) {
      // "&&" is a literal ampersand; "&x" marks the mnemonic.
      label += text[++i] == u'&' ? QStringLiteral("&") : QStringLiteral("_") + text[i];
    } else if (c == u'_') {
      label += QStringLiteral("__");
    } else {
      label += c;
    }
  }
  return label;
}

const TrayMenuExporter::Entry* TrayMenuExporter::Find(int id) const {
  for (const Entry& entry : entries_) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

QVariantMap TrayMenuExporter::Properties(int id, const QStringList& names) const {
  QVariantMap all;
  if (id == kRootId) {
    all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
  } else if (const Entry* entry = Find(id)) {
    if (entry->separator) {
      all.insert(QStringLiteral("type"), QStringLiteral("separator"));
    } else {
      all.insert(QStringLiteral("label"), entry->label);
      all.insert(QStringLiteral("enabled"), true);
      all.insert(QStringLiteral("visible"), true);
    }
  }
  if (names.isEmpty()) return all;
  QVariantMap asked;
  for (const QString& name : names) {
    if (all.contains(name)) asked.insert(name, all.value(name));
  }
  return asked;
}

DBusMenuLayoutItem TrayMenuExporter::Layout(int id, int depth, const QStringList& names) const {
  DBusMenuLayoutItem item;
  item.id = id;
  item.properties = Properties(id, names);
  // The root holds every entry; the entries have no submenus.
  if (id == kRootId && depth != 0) {
    for (const Entry& entry : entries_) item.children.append(Layout(entry.id, depth - 1, names));
  }
  return item;
}

uint TrayMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 DBusMenuLayoutItem& layout) {
  layout = Layout(parentId == kRootId || Find(parentId) != nullptr ? parentId : kRootId, recursionDepth,
                  propertyNames);
  return revision_;
}

DBusMenuItemList TrayMenuExporter::GetGroupProperties(const QList<int>& ids,
                                                      const QStringList& propertyNames) {
  DBusMenuItemList items;
  for (const int id : ids) {
    if (id == kRootId || Find(id) != nullptr) items.append(DBusMenuItem{id, Properties(id, propertyNames)});
  }
  return items;
}

QDBusVariant TrayMenuExporter::GetProperty(int id, const QString& name) {
  return QDBusVariant(Properties(id, {}).value(name));
}

void TrayMenuExporter::Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp) {
  (void)data;
  (void)timestamp;
  const Entry* entry = Find(id);
  if (eventId != QStringLiteral("clicked") || entry == nullptr || entry->separator || entry->command == 0)
    return;
  // After the reply: a command may open a modal box, which must not hold
  // the host's call.
  const int command = entry->command;
  QMetaObject::invokeMethod(
      this, [this, command] { emit CommandChosen(command); }, Qt::QueuedConnection);
}

QList<int> TrayMenuExporter::EventGroup(const DBusMenuEventList& events) {
  QList<int> errors;
  for (const DBusMenuEvent& event : events) {
    if (event.id != kRootId && Find(event.id) == nullptr) {
      errors.append(event.id);
      continue;
    }
    Event(event.id, event.eventId, event.data, event.timestamp);
  }
  return errors;
}

bool TrayMenuExporter::AboutToShow(int id) {
  (void)id;
  return false;
}

QList<int> TrayMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
  for (const int id : ids) {
    if (id != kRootId && Find(id) == nullptr) idErrors.append(id);
  }
  return {};
}

}  // namespace kivo
