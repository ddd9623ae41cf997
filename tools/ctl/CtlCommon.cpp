#include "CtlCommon.h"

#include <QJsonDocument>

#include <cstdio>

namespace Ombrelay::Ctl
{

void Out(const QString& Text)
{
    const QByteArray bytes = Text.toUtf8();
    std::fwrite(bytes.constData(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void Err(const QString& Text)
{
    const QByteArray bytes = Text.toUtf8();
    std::fwrite(bytes.constData(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

void OutJson(const QJsonArray& Array)
{
    Out(QString::fromUtf8(QJsonDocument(Array).toJson(QJsonDocument::Indented)));
}

} // namespace Ombrelay::Ctl
