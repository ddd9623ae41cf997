#include "gui/InfoList.h"

#include <QTreeWidget>

namespace Ombrelay
{

QTreeWidget* NewInfoList(const char* Name, QWidget* Parent)
{
    auto* list = new QTreeWidget(Parent);
    list->setObjectName(QLatin1String(Name));
    list->setColumnCount(2);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setColumnWidth(0, 120);
    list->setColumnWidth(1, 400);
    return list;
}

void AddInfoRow(QTreeWidget* ListView, const QString& Caption, const QString& Value)
{
    new QTreeWidgetItem(ListView, {Caption, Value});
}

} // namespace Ombrelay
