#include "panekit/prefdeck.h"

#include "panekit/preferencenode.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>
#include <exception>

namespace panekit {
namespace {

// The wait cursor while a page is built and filled.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

Prefdeck::Prefdeck(QWidget* parent, const QString& title) : QDialog(parent) {
    setWindowTitle(title);
    setObjectName(QStringLiteral("prefdeck"));
    auto* layout = new QVBoxLayout(this);
    auto* split = new QSplitter(Qt::Horizontal, this);
    tree_ = new QTreeWidget(split);
    tree_->setObjectName(QStringLiteral("prefTree"));
    tree_->setHeaderHidden(true);
    auto* right = new QWidget(split);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(6, 0, 0, 0);
    title_ = new QLabel(right);
    title_->setObjectName(QStringLiteral("prefTitle"));
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    description_ = new QLabel(right);
    description_->setObjectName(QStringLiteral("prefDescription"));
    description_->setWordWrap(true);
    cards_ = new QStackedWidget(right);
    rightLayout->addWidget(title_);
    rightLayout->addWidget(description_);
    rightLayout->addWidget(cards_, 1);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    buttons_ = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &Prefdeck::ok);
    connect(buttons_, &QDialogButtonBox::rejected, this, &Prefdeck::reject);
    connect(buttons_, &QDialogButtonBox::helpRequested, this, &Prefdeck::help);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item)
            return;
        for (auto it = items_.constBegin(); it != items_.constEnd(); ++it)
            if (it.value() == item) {
                flipToNode(const_cast<PreferenceNode*>(it.key()));
                return;
            }
    });
}

Prefdeck::~Prefdeck() = default;

PreferenceNode* Prefdeck::addPreferenceNode(std::unique_ptr<PreferenceNode> node) {
    if (!node)
        return nullptr;
    roots_.push_back(std::move(node));
    PreferenceNode* raw = roots_.back().get();
    addItems(raw, nullptr);
    return raw;
}

PreferenceNode* Prefdeck::addPreferenceNode(PreferenceNode* parent,
                                            std::unique_ptr<PreferenceNode> node) {
    if (!parent)
        return addPreferenceNode(std::move(node));
    QTreeWidgetItem* parentItem = itemFor(parent);
    PreferenceNode* raw = parent->addChild(std::move(node));
    if (raw && parentItem)
        addItems(raw, parentItem);
    return raw;
}

void Prefdeck::addItems(PreferenceNode* node, QTreeWidgetItem* parentItem) {
    node->setPreferences(this);
    auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(tree_);
    item->setText(0, node->toString());
    item->setIcon(0, node->getIcon());
    items_.insert(node, item);
    for (PreferenceNode* child : node->getChildren())
        addItems(child, item);
    tree_->expandAll();
}

void Prefdeck::forgetItems(PreferenceNode* node) {
    for (PreferenceNode* child : node->getChildren())
        forgetItems(child);
    removeNodeClient(node);
    if (prevNode_ == node)
        prevNode_ = nullptr;
    node->setPreferences(nullptr);
    items_.remove(node);
}

std::unique_ptr<PreferenceNode> Prefdeck::removePreferenceNode(PreferenceNode* node) {
    for (auto it = roots_.begin(); it != roots_.end(); ++it) {
        if (it->get() == node) {
            std::unique_ptr<PreferenceNode> out = std::move(*it);
            roots_.erase(it);
            QTreeWidgetItem* item = itemFor(node);
            forgetItems(node);
            delete item;
            return out;
        }
    }
    return nullptr;
}

std::unique_ptr<PreferenceNode> Prefdeck::removePreferenceNode(PreferenceNode* parent,
                                                               PreferenceNode* node) {
    if (!parent)
        return removePreferenceNode(node);
    QTreeWidgetItem* item = itemFor(node);
    std::unique_ptr<PreferenceNode> out = parent->removeChild(node);
    if (out) {
        forgetItems(node);
        delete item;
    }
    return out;
}

std::vector<PreferenceNode*> Prefdeck::getPreferenceNodes() const {
    std::vector<PreferenceNode*> out;
    for (const auto& r : roots_)
        out.push_back(r.get());
    return out;
}

QTreeWidgetItem* Prefdeck::itemFor(const PreferenceNode* node) const {
    return items_.value(node);
}

void Prefdeck::buildNodeClient(PreferenceNode* node) {
    if (!node || node->getClient())
        return;
    QWidget* client = node->buildClient();
    if (!client)
        client = new QWidget; // a page without controls still gets a card
    node->setClient(client);
    cards_->addWidget(client);
    node->displaySettings(node->isSystemNode() ? systemSettings_ : settings_);
}

void Prefdeck::removeNodeClient(PreferenceNode* node) {
    if (QWidget* client = node ? node->getClient() : nullptr) {
        cards_->removeWidget(client);
        node->setClient(nullptr);
        client->deleteLater();
    }
}

void Prefdeck::flipToNode(PreferenceNode* node) {
    if (!node || !items_.contains(node))
        return;
    {
        BusyCursor busy;
        buildNodeClient(node);
    }
    cards_->setCurrentWidget(node->getClient());
    title_->setText(node->getTitle());
    description_->setText(node->getDescription());
    prevNode_ = node;
    setNodeSelected(node);
}

void Prefdeck::setNodeSelected(PreferenceNode* node) {
    QTreeWidgetItem* item = itemFor(node);
    if (!item || tree_->currentItem() == item)
        return;
    tree_->setCurrentItem(item); // flips to the node through the tree's signal
}

void Prefdeck::applySettings(PreferenceNode* node) {
    if (!node) {
        for (const auto& r : roots_)
            applySettings(r.get());
        return;
    }
    for (PreferenceNode* child : node->getChildren())
        applySettings(child);
    applySettingsTo(node);
}

void Prefdeck::applySettingsTo(PreferenceNode* node) {
    if (!node || !node->getClient())
        return; // never shown: its stored values stay as they are
    try {
        node->saveSettings(node->isSystemNode() ? systemSettings_ : settings_);
    } catch (const std::exception& failure) {
        // The page reports its own failures; one that escapes must not keep the dialog open.
        std::fprintf(stderr, "Preference page %s failed to save: %s\n",
                     qPrintable(node->getTitle()), failure.what());
    }
}

void Prefdeck::showCentered(bool modal) {
    if (!prevNode_ && !roots_.empty())
        flipToNode(roots_.front().get());
    adjustSize();
    QRect frame(QPoint(), size());
    const QWidget* owner = parentWidget();
    frame.moveCenter(owner ? owner->frameGeometry().center()
                           : QPoint(frame.width() / 2, frame.height() / 2));
    if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        frame.moveLeft(std::clamp(frame.left(), avail.left(),
                                  std::max(avail.left(), avail.right() - frame.width())));
        frame.moveTop(std::clamp(frame.top(), avail.top(),
                                 std::max(avail.top(), avail.bottom() - frame.height())));
    }
    move(frame.topLeft());
    if (modal)
        exec();
    else
        show();
}

void Prefdeck::showEvent(QShowEvent* event) {
    if (!prevNode_ && !roots_.empty())
        flipToNode(roots_.front().get());
    QDialog::showEvent(event);
}

void Prefdeck::ok() {
    applySettings();
    canceled_ = false;
    if (closeWhenDone_)
        accept();
}

void Prefdeck::reject() {
    canceled_ = true;
    QDialog::reject();
}

void Prefdeck::help() {
    if (prevNode_)
        prevNode_->displayHelp();
}

} // namespace panekit
