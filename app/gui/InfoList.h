#pragma once

// The two-column caption/value lists of the device and profile pages.

#include <QString>

class QTreeWidget;
class QWidget;

namespace Ombrelay
{

// A read-only list of rows without captions, whole rows selected; columns 120 and 400 wide.
QTreeWidget* NewInfoList(const char* Name, QWidget* Parent);
// Appends one row: the caption and its value.
void AddInfoRow(QTreeWidget* ListView, const QString& Caption, const QString& Value);

} // namespace Ombrelay
