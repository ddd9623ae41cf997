#include "gui/InfoList.h"

#include <QTreeWidget>

namespace Ombrelay
{

QTreeWidget* NewInfoList(const char* Name, QWidget* Parent)
{
    auto* List = new QTreeWidget(Parent);
    List->setObjectName(QLatin1String(Name));
    List->setColumnCount(2);
    List->setHeaderHidden(true);
    List->setRootIsDecorated(false);
    List->setSelectionBehavior(QAbstractItemView::SelectRows);
    List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List->setColumnWidth(0, 120);
    List->setColumnWidth(1, 400);
    return List;
}

void AddInfoRow(QTreeWidget* ListView, const QString& Caption, const QString& Value)
{
    new QTreeWidgetItem(ListView, {Caption, Value});
}

} // namespace Ombrelay
