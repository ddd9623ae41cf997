#include "gui/WindowState.h"

#include "core/DB.h"
#include "sqlite/SQLiteDB.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>
#include <QWidget>

#include <algorithm>

namespace Ombrelay
{

namespace
{

const QString kPrefix = QStringLiteral("window.");
const QString kGeometry = QStringLiteral("window.geometry");
const QString kMaximized = QStringLiteral("window.maximized");
const QString kSplitter = QStringLiteral("window.splitter.");
const QString kColumns = QStringLiteral("window.columns.");

// "a,b,c" -> numbers; empty when any part is not a number.
QList<int> Numbers(const QString& Text)
{
    QList<int> r;
    for (const QString& part : Text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (!ok) {
            return {};
        }
        r << n;
    }
    return r;
}

QString Join(const QList<int>& Values)
{
    QStringList parts;
    for (int v : Values) {
        parts << QString::number(v);
    }
    return parts.join(QLatin1Char(','));
}

QHeaderView* HeaderOf(QAbstractItemView* View)
{
    if (auto* tree = qobject_cast<QTreeView*>(View)) {
        return tree->header();
    }
    if (auto* table = qobject_cast<QTableView*>(View)) {
        return table->horizontalHeader();
    }
    return nullptr;
}

} // namespace

QRect TWindowState::FitOnScreens(const QRect& Rect, const QList<QRect>& Screens)
{
    if (Screens.isEmpty() || !Rect.isValid()) {
        return Rect;
    }
    QRect best = Screens.first();
    qint64 bestArea = 0;
    for (const QRect& s : Screens) {
        const QRect common = s.intersected(Rect);
        const qint64 area = common.isValid() ? qint64(common.width()) * common.height() : 0;
        if (area > bestArea) {
            bestArea = area;
            best = s;
        }
    }
    QRect r = Rect;
    r.setWidth(std::min(r.width(), best.width()));
    r.setHeight(std::min(r.height(), best.height()));
    r.moveLeft(std::clamp(r.left(), best.left(), best.right() - r.width() + 1));
    r.moveTop(std::clamp(r.top(), best.top(), best.bottom() - r.height() + 1));
    return r;
}

QRect TWindowState::FitOnDesktop(const QRect& Rect)
{
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        screens << primary->availableGeometry();
    }
    for (QScreen* s : QGuiApplication::screens()) {
        if (s != QGuiApplication::primaryScreen()) {
            screens << s->availableGeometry();
        }
    }
    return FitOnScreens(Rect, screens);
}

QMap<QString, QString> TWindowState::Load()
{
    QMap<QString, QString> rows;
    if (!Database) {
        return rows;
    }
    TDatabase& db = *Database;
    TSQLiteLock lock(db);
    TSQLiteQuery query(db, QStringLiteral("SELECT NAME, VALUE FROM CONFIG WHERE NAME LIKE 'window.%'"));
    while (db.Next()) {
        if (!db.GetFieldIsNull(1)) {
            rows.insert(db.GetFieldAsString(0), db.GetFieldAsString(1));
        }
    }
    return rows;
}

void TWindowState::Save(const QMap<QString, QString>& Rows)
{
    if (!Database) {
        return;
    }
    TDatabase& db = *Database;
    TSQLiteLock lock(db);
    TSQLiteTransaction transaction(db);
    {
        TSQLiteQuery query(db, QStringLiteral("INSERT OR REPLACE INTO CONFIG (NAME, VALUE) VALUES (?, ?)"));
        for (auto i = Rows.cbegin(); i != Rows.cend(); ++i) {
            if (!i.key().startsWith(kPrefix)) {
                continue;
            }
            db.SetParamAsString(1, i.key());
            db.SetParamAsString(2, i.value());
            db.Exec();
        }
    }
    transaction.Commit();
}

QMap<QString, QString> TWindowState::Capture(const QWidget& Window)
{
    QMap<QString, QString> rows;
    // The size it has when not maximised, so that un-maximising after a restart gives it back.
    const QRect g = Window.isMaximized() ? Window.normalGeometry() : Window.geometry();
    if (g.isValid()) {
        rows.insert(kGeometry, Join({g.x(), g.y(), g.width(), g.height()}));
    }
    rows.insert(kMaximized, Window.isMaximized() ? QStringLiteral("1") : QStringLiteral("0"));
    // Only what is on screen now: a page never shown in this run has no sizes of its own yet,
    // and its stored ones stay as they are.
    for (const QSplitter* splitter : Window.findChildren<QSplitter*>()) {
        if (splitter->isVisible() && !splitter->objectName().isEmpty() && !splitter->sizes().isEmpty()) {
            rows.insert(kSplitter + splitter->objectName(), Join(splitter->sizes()));
        }
    }
    for (QAbstractItemView* view : Window.findChildren<QAbstractItemView*>()) {
        QHeaderView* header = HeaderOf(view);
        if (!view->isVisible() || view->objectName().isEmpty() || !header || header->count() == 0) {
            continue;
        }
        QList<int> widths;
        for (int i = 0; i < header->count(); ++i) {
            widths << header->sectionSize(i);
        }
        rows.insert(kColumns + view->objectName(), Join(widths));
    }
    return rows;
}

bool TWindowState::Apply(QWidget& Window, const QMap<QString, QString>& Rows)
{
    for (QSplitter* splitter : Window.findChildren<QSplitter*>()) {
        const QList<int> sizes = Numbers(Rows.value(kSplitter + splitter->objectName()));
        if (!splitter->objectName().isEmpty() && sizes.size() == splitter->count() &&
            std::all_of(sizes.cbegin(), sizes.cend(), [](int s) { return s >= 0; })) {
            splitter->setSizes(sizes);
        }
    }
    for (QAbstractItemView* view : Window.findChildren<QAbstractItemView*>()) {
        QHeaderView* header = HeaderOf(view);
        const QList<int> widths = Numbers(Rows.value(kColumns + view->objectName()));
        if (view->objectName().isEmpty() || !header || widths.isEmpty()) {
            continue;
        }
        // A column the stored list does not know keeps its width; the last one may stretch.
        for (int i = 0; i < std::min<int>(header->count(), widths.size()); ++i) {
            if (widths[i] > 0 && header->sectionResizeMode(i) == QHeaderView::Interactive) {
                header->resizeSection(i, widths[i]);
            }
        }
    }
    const QList<int> g = Numbers(Rows.value(kGeometry));
    if (g.size() != 4 || g[2] <= 0 || g[3] <= 0) {
        return false;
    }
    Window.setGeometry(FitOnDesktop(QRect(g[0], g[1], g[2], g[3])));
    if (Rows.value(kMaximized) == QLatin1String("1")) {
        Window.setWindowState(Window.windowState() | Qt::WindowMaximized);
    }
    return true;
}

} // namespace Ombrelay
