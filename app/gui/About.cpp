#include "gui/About.h"

#include "core/Version.h"
#include "gui/GuiCommon.h"
#include "gui/Icons.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
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

// A label that acts as a link: hand cursor, underlined text in the theme's link colour, opens its
// address on click (or on Enter or Space, since it takes the keyboard focus).
QLabel* NewLinkLabel(const QString& Caption, QWidget* Parent)
{
    auto* label = new QLabel(Caption, Parent);
    label->setTextFormat(Qt::PlainText);
    label->setCursor(Qt::PointingHandCursor);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, LinkColor(palette));
    label->setPalette(palette);
    label->setFocusPolicy(Qt::StrongFocus);
    label->setAccessibleName(Caption);
    return label;
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
        if (Event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(Event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                FOnClick();
                return true;
            }
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
    setWindowTitle(tr("About Ombrelay"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);

    imLogo = new QLabel(panel);
    imLogo->setObjectName(QStringLiteral("imLogo"));
    imLogo->setPixmap(TIcons::Logo(64));
    imLogo->setFixedSize(64, 64);
    lbProdName = new QLabel(panel);
    lbProdName->setObjectName(QStringLiteral("lbProdName"));
    lbVerInfo = new QLabel(panel);
    lbVerInfo->setObjectName(QStringLiteral("lbVerInfo"));
    lbVerInfo->setTextFormat(Qt::PlainText);
    lbWebSite = NewLinkLabel(tr("Web site"), panel);
    lbWebSite->setObjectName(QStringLiteral("lbWebSite"));
    lbContact = NewLinkLabel(tr("Contact us"), panel);
    lbContact->setObjectName(QStringLiteral("lbContact"));

    auto* freeware = new QLabel(tr("FREEWARE"), panel);
    freeware->setFrameShape(QFrame::Box);
    freeware->setAlignment(Qt::AlignCenter);
    freeware->setMinimumHeight(28);
    QFont bold = freeware->font();
    bold.setBold(true);
    freeware->setFont(bold);

    lbInfo = new QLabel(panel);
    lbInfo->setObjectName(QStringLiteral("lbInfo"));
    lbInfo->setWordWrap(true);
    lbInfo->setText(tr("This program is free of charge. It comes without any warranty. You may copy it "
                       "and pass it on to others, provided that it is not changed."));

    auto* grid = new QGridLayout(panel);
    grid->addWidget(imLogo, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(lbProdName, 0, 1);
    grid->addWidget(lbVerInfo, 1, 1);
    auto* links = new QHBoxLayout;
    links->addWidget(lbWebSite);
    links->addSpacing(16);
    links->addWidget(lbContact);
    links->addStretch();
    grid->addLayout(links, 2, 1);
    grid->addWidget(freeware, 3, 0, 1, 2);
    grid->addWidget(lbInfo, 4, 0, 1, 2);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* btnOK = buttons->addButton(tr("&OK"), QDialogButtonBox::AcceptRole);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    lbWebSite->installEventFilter(new TClickFilter(this, [this] { lbWebSiteClick(); }));
    lbContact->installEventFilter(new TClickFilter(this, [this] { lbContactClick(); }));

    FormCreate();
}

QString TfmAbout::VersionLine(const QString& Version)
{
    const QStringList parts = Version.split(QLatin1Char('.'));
    auto part = [&parts](int I) { return I < parts.size() ? parts[I].toUInt() : 0U; };
    return tr("Version %1.%2.%3 %4-bit")
        .arg(part(0))
        .arg(part(1))
        .arg(part(2))
        .arg(static_cast<int>(sizeof(void*) * 8));
}

void TfmAbout::FormCreate()
{
    lbProdName->setText(QStringLiteral("Ombrelay"));
    QFont font = lbProdName->font();
    font.setPointSize(11);
    lbProdName->setFont(font);
    lbVerInfo->setText(VersionLine(ProgramVersion()) + QLatin1Char('\n') +
                       tr("Copyright \u00A9 Virelle. All rights reserved."));
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
