#include "gui/MessageTools.h"

#include "core/Contacts.h"
#include "core/DB.h"
#include "core/MessageExport.h"
#include "core/MessageSearch.h"
#include "gui/MessageBox.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTimer>
#include <QVBoxLayout>

namespace Ombrelay
{

namespace
{

QString ErrorText(const std::exception& E)
{
    const auto* own = dynamic_cast<const EOmbrelayError*>(&E);
    return own ? own->Message() : QString::fromUtf8(E.what());
}

// The contacts with the home country of the stored messages, so that national forms match.
TContacts LoadContacts()
{
    return TContacts(*Database, TMessageQuery::HomeCountry(*Database));
}

// A vCard file larger than this is not an address book.
constexpr qint64 kMaxVCardBytes = 32 * 1024 * 1024;

} // namespace

TMessageSearchBox::TMessageSearchBox(std::function<QString()> Device, QWidget* Parent)
    : QWidget(Parent)
    , FDevice(std::move(Device))
{
    setObjectName(QStringLiteral("pnSearch"));
    edSearch = new QLineEdit(this);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setPlaceholderText(tr("Search messages"));
    edSearch->setClearButtonEnabled(true);
    lvSearchResults = new QListWidget(this);
    lvSearchResults->setObjectName(QStringLiteral("lvSearchResults"));
    lvSearchResults->setUniformItemSizes(true);
    lvSearchResults->setTextElideMode(Qt::ElideRight);
    lvSearchResults->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->addWidget(edSearch);
    layout->addWidget(lvSearchResults);

    FTimer = new QTimer(this);
    FTimer->setSingleShot(true);
    FTimer->setInterval(DebounceMs);
    connect(FTimer, &QTimer::timeout, this, &TMessageSearchBox::RunSearch);
    connect(edSearch, &QLineEdit::textChanged, FTimer, qOverload<>(&QTimer::start));
    connect(lvSearchResults, &QListWidget::currentRowChanged, this, [this](int Row) {
        if (Row >= 0 && Row < FResults.size()) {
            Q_EMIT MessageChosen(FResults.at(Row));
        }
    });
}

void TMessageSearchBox::RunSearch()
{
    const QString text = edSearch->text();
    FResults.clear();
    lvSearchResults->clear();
    if (text.trimmed().isEmpty() || !Database) {
        lvSearchResults->hide();
        return;
    }
    try {
        const TContacts contacts = LoadContacts();
        FResults = TMessageSearch::Search(*Database, FDevice ? FDevice() : QString(), text, &contacts);
    } catch (const std::exception& e) {
        // A search that fails leaves the list empty and says why in its place.
        lvSearchResults->addItem(tr("Search failed: %1").arg(ErrorText(e)));
        lvSearchResults->show();
        return;
    }
    for (const TMessageRecord& r : FResults) {
        QString line = r.Text.simplified();
        const QString who = r.Name.isEmpty() ? r.Number : r.Name;
        // Items show plain text: QListWidgetItem never interprets markup.
        lvSearchResults->addItem(
            QStringLiteral("%1 %2: %3")
                .arg(r.Outgoing ? QStringLiteral("\u2192") : QStringLiteral("\u2190"), who, line.left(200)));
    }
    if (FResults.isEmpty()) {
        lvSearchResults->addItem(tr("No message found"));
    }
    lvSearchResults->show();
}

void ExportMessages(QWidget* Parent, const QString& Device, const QList<TMessageRecord>& Selected)
{
    if (!Database) {
        return;
    }
    const QString file =
        QFileDialog::getSaveFileName(Parent, QCoreApplication::translate("MessageTools", "Export Messages"),
                                     QStringLiteral("messages.csv"),
                                     QCoreApplication::translate("MessageTools",
                                                                 "CSV (*.csv);;JSON (*.json);;Text (*.txt)"));
    if (file.isEmpty()) {
        return;
    }
    try {
        QList<TMessageRecord> messages = Selected;
        if (messages.isEmpty()) {
            const TContacts contacts = LoadContacts();
            TMessageFilter filter;
            filter.Device = Device;
            messages = TMessageQuery::List(*Database, filter, &contacts);
        }
        TMessageExport::WriteFile(file, messages, TMessageExport::FormatOfFile(file));
    } catch (const std::exception& e) {
        TMessageBox::Critical(Parent, QCoreApplication::translate("MessageTools", "Export Messages"), ErrorText(e));
    }
}

bool EditContact(QWidget* Parent, const QString& Number)
{
    if (!Database || Number.trimmed().isEmpty()) {
        return false;
    }
    try {
        TContacts contacts = LoadContacts();
        bool ok = false;
        const QString name =
            QInputDialog::getText(Parent, QCoreApplication::translate("MessageTools", "Contact"),
                                  QCoreApplication::translate("MessageTools", "Name for %1:").arg(Number),
                                  QLineEdit::Normal, contacts.NameFor(Number), &ok);
        if (!ok) {
            return false;
        }
        const TContact existing = contacts.Find(Number);
        if (name.trimmed().isEmpty()) {
            if (existing.Id != 0) {
                contacts.Remove(existing.Id);
                return true;
            }
            return false;
        }
        contacts.Set(Number, name);
        return true;
    } catch (const std::exception& e) {
        TMessageBox::Critical(Parent, QCoreApplication::translate("MessageTools", "Contact"), ErrorText(e));
        return false;
    }
}

void ImportContacts(QWidget* Parent)
{
    if (!Database) {
        return;
    }
    const QString file =
        QFileDialog::getOpenFileName(Parent, QCoreApplication::translate("MessageTools", "Import Contacts"), QString(),
                                     QCoreApplication::translate("MessageTools",
                                                                 "vCard (*.vcf *.vcard);;All files (*)"));
    if (file.isEmpty()) {
        return;
    }
    try {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly)) {
            throw EOmbrelayError(
                QCoreApplication::translate("MessageTools", "%1 cannot be read: %2").arg(file, in.errorString()));
        }
        if (in.size() > kMaxVCardBytes) {
            throw EOmbrelayError(
                QCoreApplication::translate("MessageTools", "%1 is too large for an address book.").arg(file));
        }
        TContacts contacts = LoadContacts();
        const int count = contacts.ImportVCard(in.readAll());
        TMessageBox::Information(Parent, QCoreApplication::translate("MessageTools", "Import Contacts"),
                                 QCoreApplication::translate("MessageTools", "%n number(s) imported.", nullptr, count));
    } catch (const std::exception& e) {
        TMessageBox::Critical(Parent, QCoreApplication::translate("MessageTools", "Import Contacts"), ErrorText(e));
    }
}

void AddMessageDataActions(QMenu* Menu, QWidget* Parent, std::function<QString()> Device)
{
    QAction* exportAction = Menu->addAction(QCoreApplication::translate("MessageTools", "Export Messages..."));
    exportAction->setObjectName(QStringLiteral("acExportMessages"));
    QObject::connect(exportAction, &QAction::triggered, Parent,
                     [Parent, Device] { ExportMessages(Parent, Device ? Device() : QString()); });
    QAction* importAction = Menu->addAction(QCoreApplication::translate("MessageTools", "Import Contacts..."));
    importAction->setObjectName(QStringLiteral("acImportContacts"));
    QObject::connect(importAction, &QAction::triggered, Parent, [Parent] { ImportContacts(Parent); });
}

} // namespace Ombrelay
