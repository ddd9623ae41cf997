#include "gui/About.h"

#include "core/Version.h"
#include "gui/GuiCommon.h"
#include "gui/Icons.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

namespace Ombrelay
{

const char* TfmAbout::WebSiteUrl = "https://www.virelle.example/ombrelay/";
const char* TfmAbout::ContactUrl = "https://www.virelle.example/contact/";

namespace
{

// A label that acts as a link: hand cursor, navy underlined text, opens its address on click.
QLabel* NewLinkLabel(const QString& Caption, QWidget* Parent)
{
    auto* Label = new QLabel(Caption, Parent);
    Label->setTextFormat(Qt::PlainText);
    Label->setCursor(Qt::PointingHandCursor);
    QFont Font = Label->font();
    Font.setUnderline(true);
    Label->setFont(Font);
    QPalette Palette = Label->palette();
    Palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label->setPalette(Palette);
    return Label;
}

class TClickFilter : public QObject
{
public:
    TClickFilter(QObject* Parent, std::function<void()> OnClick)
        : QObject(Parent)
        , FOnClick(std::move(OnClick))
    {
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::MouseButtonRelease) {
            FOnClick();
            return true;
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    std::function<void()> FOnClick;
};

} // namespace

TfmAbout::TfmAbout(QWidget* Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* Panel = new QFrame(this);
    Panel->setFrameShape(QFrame::Panel);
    Panel->setFrameShadow(QFrame::Sunken);

    imLogo = new QLabel(Panel);
    imLogo->setObjectName(QStringLiteral("imLogo"));
    imLogo->setPixmap(TIcons::Logo(64));
    imLogo->setFixedSize(64, 64);
    lbProdName = new QLabel(Panel);
    lbProdName->setObjectName(QStringLiteral("lbProdName"));
    lbVerInfo = new QLabel(Panel);
    lbVerInfo->setObjectName(QStringLiteral("lbVerInfo"));
    lbVerInfo->setTextFormat(Qt::PlainText);
    lbWebSite = NewLinkLabel(QStringLiteral("Web-site"), Panel);
    lbWebSite->setObjectName(QStringLiteral("lbWebSite"));
    lbContact = NewLinkLabel(QStringLiteral("Contact us"), Panel);
    lbContact->setObjectName(QStringLiteral("lbContact"));

    auto* Freeware = new QLabel(QStringLiteral("FREEWARE"), Panel);
    Freeware->setFrameShape(QFrame::Box);
    Freeware->setAlignment(Qt::AlignCenter);
    Freeware->setMinimumHeight(28);
    QFont Bold = Freeware->font();
    Bold.setBold(true);
    Freeware->setFont(Bold);

    lbInfo = new QLabel(Panel);
    lbInfo->setObjectName(QStringLiteral("lbInfo"));
    lbInfo->setWordWrap(true);
    lbInfo->setText(QStringLiteral("This program is free of charge. It comes without any warranty. You may copy it "
                                   "and pass it on to others, provided that it is not changed."));

    auto* Grid = new QGridLayout(Panel);
    Grid->addWidget(imLogo, 0, 0, 3, 1, Qt::AlignTop);
    Grid->addWidget(lbProdName, 0, 1);
    Grid->addWidget(lbVerInfo, 1, 1);
    auto* Links = new QHBoxLayout;
    Links->addWidget(lbWebSite);
    Links->addSpacing(16);
    Links->addWidget(lbContact);
    Links->addStretch();
    Grid->addLayout(Links, 2, 1);
    Grid->addWidget(Freeware, 3, 0, 1, 2);
    Grid->addWidget(lbInfo, 4, 0, 1, 2);

    auto* Buttons = new QDialogButtonBox(this);
    QPushButton* btnOK = Buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(Panel);
    Layout->addWidget(Buttons);
    Layout->setSizeConstraint(QLayout::SetFixedSize);

    lbWebSite->installEventFilter(new TClickFilter(this, [this] { lbWebSiteClick(); }));
    lbContact->installEventFilter(new TClickFilter(this, [this] { lbContactClick(); }));

    FormCreate();
}

QString TfmAbout::VersionLine(const QString& Version)
{
    const QStringList Parts = Version.split(QLatin1Char('.'));
    auto Part = [&Parts](int I) { return I < Parts.size() ? Parts[I].toUInt() : 0U; };
    return QStringLiteral("Version %1.%2.%3 %4-bit")
        .arg(Part(0))
        .arg(Part(1))
        .arg(Part(2))
        .arg(static_cast<int>(sizeof(void*) * 8));
}

void TfmAbout::FormCreate()
{
    lbProdName->setText(QStringLiteral("Ombrelay"));
    QFont Font = lbProdName->font();
    Font.setPointSize(11);
    lbProdName->setFont(Font);
    lbVerInfo->setText(VersionLine(ProgramVersion()) +
                       QStringLiteral("\nCopyright \u00A9 Virelle. All rights reserved."));
}

void TfmAbout::lbWebSiteClick()
{
    Guarded(this, [] { ShellOpen(QString::fromLatin1(WebSiteUrl)); });
}

void TfmAbout::lbContactClick()
{
    Guarded(this, [] { ShellOpen(QString::fromLatin1(ContactUrl)); });
}

} // namespace Ombrelay
