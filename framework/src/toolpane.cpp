#include "panekit/toolpane.h"

#include "panekit/tool.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace panekit {
namespace {

QToolButton* titleButton(QWidget* parent, const char* objectName, QStyle::StandardPixmap pixmap,
                         const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setIcon(parent->style()->standardIcon(pixmap));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setIconSize(QSize(12, 12));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

ToolPane::ToolPane(std::unique_ptr<Tool> tool, const LeafPaneDescription& description,
                   QWidget* parent)
    : QFrame(parent), tool_(std::move(tool)), description_(description) {
    setObjectName(QStringLiteral("pane:") + description.name);
    // A click anywhere in the pane gives it the focus, so that focus actions and focus
    // followers know which pane the user works in.
    setFocusPolicy(Qt::ClickFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    titleBar_ = new QWidget(this);
    titleBar_->setObjectName(QStringLiteral("paneTitleBar"));
    titleBar_->setAutoFillBackground(true);
    titleBar_->setBackgroundRole(QPalette::Midlight);
    auto* bar = new QHBoxLayout(titleBar_);
    bar->setContentsMargins(4, 1, 2, 1);
    bar->setSpacing(2);
    iconLabel_ = new QLabel(titleBar_);
    iconLabel_->setObjectName(QStringLiteral("paneIcon"));
    titleLabel_ = new QLabel(titleBar_);
    titleLabel_->setObjectName(QStringLiteral("paneTitle"));
    linkButton_ =
        titleButton(titleBar_, "linkButton", QStyle::SP_BrowserReload, QStringLiteral("Linked"));
    linkButton_->setCheckable(true);
    linkButton_->setChecked(true);
    minimizeButton_ = titleButton(titleBar_, "minimizeButton", QStyle::SP_TitleBarMinButton,
                                  QStringLiteral("Minimize"));
    viewButton_ =
        titleButton(titleBar_, "viewButton", QStyle::SP_ArrowDown, QStringLiteral("View"));
    bar->addWidget(iconLabel_);
    bar->addWidget(titleLabel_, 1);
    bar->addWidget(linkButton_);
    bar->addWidget(minimizeButton_);
    bar->addWidget(viewButton_);
    layout->addWidget(titleBar_);

    connect(linkButton_, &QToolButton::toggled, this, &ToolPane::setLinked);
    connect(minimizeButton_, &QToolButton::clicked, this, [this] { setMinimized(!minimized_); });

    tool_->setPane(this);
    client_ = tool_->getView();
    if (client_)
        layout->addWidget(client_, 1);
    else
        layout->addStretch(1);

    setTitle(tool_->getTitle());
    setTitleIcon(tool_->getTitleIcon());
    setTitleBarVisible(tool_->isTitleBarVisible());
    setLinkButtonVisible(tool_->isLinkButtonVisible());
    setMinimizeButtonVisible(tool_->isMinimizeButtonVisible());
    setViewButtonVisible(tool_->isViewButtonVisible());
    setBorderVisible(tool_->isBorderVisible());
}

// The tool goes first (its unique_ptr member), while its view, a child widget, still exists.
ToolPane::~ToolPane() = default;

void ToolPane::setTitle(const QString& title) {
    titleLabel_->setText(title);
}

QString ToolPane::getTitle() const {
    return titleLabel_->text();
}

void ToolPane::setTitleIcon(const QIcon& icon) {
    iconLabel_->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(16, 16));
    iconLabel_->setVisible(!icon.isNull());
}

void ToolPane::setTitleBarVisible(bool visible) {
    titleBar_->setVisible(visible);
}

bool ToolPane::isTitleBarVisible() const {
    return !titleBar_->isHidden();
}

void ToolPane::setLinkButtonVisible(bool visible) {
    linkButton_->setVisible(visible);
}

void ToolPane::setMinimizeButtonVisible(bool visible) {
    minimizeButton_->setVisible(visible);
}

void ToolPane::setViewButtonVisible(bool visible) {
    viewButton_->setVisible(visible);
}

void ToolPane::setBorderVisible(bool visible) {
    setFrameStyle(visible ? QFrame::StyledPanel | QFrame::Plain : QFrame::NoFrame);
}

void ToolPane::setLinked(bool linked) {
    if (linked == linked_)
        return;
    linked_ = linked;
    linkButton_->setChecked(linked);
    emit linkedChanged(linked);
}

void ToolPane::setMinimized(bool minimized) {
    if (minimized == minimized_)
        return;
    minimized_ = minimized;
    if (client_)
        client_->setVisible(!minimized);
    minimizeButton_->setIcon(style()->standardIcon(minimized ? QStyle::SP_TitleBarNormalButton
                                                             : QStyle::SP_TitleBarMinButton));
    emit minimizedChanged(minimized);
}

} // namespace panekit
