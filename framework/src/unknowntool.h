#pragma once

#include "panekit/tool.h"

#include <QLabel>
#include <QPointer>

namespace panekit {

// Stands in for a tool that could not be created, and says why in its pane.
class UnknownTool final : public Tool {
    Q_OBJECT

public:
    explicit UnknownTool(QString reason) : reason_(std::move(reason)) {}

    QWidget* getView() override {
        if (!view_) {
            view_ = new QLabel(reason_);
            view_->setAlignment(Qt::AlignCenter);
            view_->setWordWrap(true);
        }
        return view_;
    }
    QString reason() const { return reason_; }

private:
    QString reason_;
    QPointer<QLabel> view_;
};

} // namespace panekit
