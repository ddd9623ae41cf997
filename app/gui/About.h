#pragma once

#include <QDialog>

class QLabel;

namespace Ombrelay
{

// The About box: product name, version, freeware notice and the maker's two links.
class TfmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TfmAbout(QWidget* Parent = nullptr);

    // "Version major.minor.release 64-bit" from a "major.minor.release.build" text; the build is not shown.
    static QString VersionLine(const QString& Version);

    static const char* WebSiteUrl;
    static const char* ContactUrl;

private:
    void lbWebSiteClick();
    void lbContactClick();
    void FormCreate();

    QLabel* imLogo;
    QLabel* lbProdName;
    QLabel* lbVerInfo;
    QLabel* lbWebSite;
    QLabel* lbContact;
    QLabel* lbInfo;
};

} // namespace Ombrelay
