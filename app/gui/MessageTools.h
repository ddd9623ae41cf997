#pragma once

// The messages' data tools in the window: search as you type, export, contacts.

#include "core/MessageQuery.h"

#include <QList>
#include <QWidget>

#include <functional>

class QLineEdit;
class QListWidget;
class QMenu;
class QTimer;

namespace Ombrelay
{

// A search field over every message of the selected device and the list of what it finds.
// The list shows only while something is searched; choosing an entry hands its message out.
class TMessageSearchBox : public QWidget
{
    Q_OBJECT

public:
    // Device gives the interface to search (empty: every one).
    explicit TMessageSearchBox(std::function<QString()> Device, QWidget* Parent = nullptr);

    // How long typing must pause before the search runs.
    static constexpr int DebounceMs = 200;

    QLineEdit* edSearch;
    QListWidget* lvSearchResults;
    const QList<TMessageRecord>& Results() const { return FResults; }

Q_SIGNALS:
    void MessageChosen(const TMessageRecord& Message);

private:
    void RunSearch();

    std::function<QString()> FDevice;
    QTimer* FTimer;
    QList<TMessageRecord> FResults;
};

// Asks for a file and writes the messages to it, the format from its extension (.csv, .json,
// .txt); every message of Device when Selected is empty. Errors are shown in a box.
void ExportMessages(QWidget* Parent, const QString& Device, const QList<TMessageRecord>& Selected = {});
// Asks for the name of Number (prefilled with the known one) and stores it. True when stored.
bool EditContact(QWidget* Parent, const QString& Number);
// Asks for a vCard file and imports its contacts; the count or the error is shown.
void ImportContacts(QWidget* Parent);
// The entries "Export Messages..." and "Import Contacts..." for a menu; Device gives the
// selected interface.
void AddMessageDataActions(QMenu* Menu, QWidget* Parent, std::function<QString()> Device);

} // namespace Ombrelay
