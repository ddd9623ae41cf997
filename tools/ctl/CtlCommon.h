#pragma once

#include <QJsonArray>
#include <QString>
#include <QStringList>

namespace Ombrelay::Ctl
{

// Exit statuses shared by every command: 0 done, 1 the operation failed (no program running, a
// send refused, no database), 2 the command line was wrong.
enum TExit : int
{
    ExitOk = 0,
    ExitFailed = 1,
    ExitUsage = 2,
};

// One command group ("messages", "usage", "monitor"). Args starts with the group's own name
// (as QCommandLineParser expects argv[0]).
int RunMessages(const QStringList& Args);
int RunUsage(const QStringList& Args);
int RunMonitor(const QStringList& Args);

// Output helpers: UTF-8 on stdout / stderr.
void Out(const QString& Text);
void Err(const QString& Text);
void OutJson(const QJsonArray& Array);

} // namespace Ombrelay::Ctl
