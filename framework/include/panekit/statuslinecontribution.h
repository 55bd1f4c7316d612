#pragma once

#include "panekit/contribution.h"

#include <QIcon>
#include <QPointer>
#include <QString>

class QLabel;

namespace panekit {

// A label a tool shows in the status line of its window; setText and setIcon update the
// shown label at once.
class StatusLabelData : public ContributionItem {
public:
    explicit StatusLabelData(const QString& text = {}, const QIcon& icon = {})
        : text_(text), icon_(icon) {}

    QString getText() const { return text_; }
    void setText(const QString& text);
    QIcon getIcon() const { return icon_; }
    void setIcon(const QIcon& icon);

    // The label shown for this item, made on first use; the status line takes it over.
    QLabel* getComponent();
    QLabel* findComponent() const;

private:
    void update();

    QString text_;
    QIcon icon_;
    QPointer<QLabel> label_;
};

class StatusLineContribution : public Contribution<StatusLabelData> {
public:
    void addLabel(std::shared_ptr<StatusLabelData> label) { add(std::move(label)); }
};

} // namespace panekit
