#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace panekit {

// One page of a frame or workbook tab: its name from the configuration and how its tab
// looks.
class Page {
public:
    virtual ~Page() = default;

    virtual QString getName() const = 0;
    virtual QString getTitle() const = 0;
    virtual void setTitle(const QString& title) = 0;
    virtual QString getCaption() const = 0; // the tab's tool tip
    virtual void setCaption(const QString& caption) = 0;
    virtual QIcon getIcon() const = 0;
    virtual void setIcon(const QIcon& icon) = 0;
    virtual QPixmap getImage() const = 0;
    virtual void setImage(const QPixmap& image) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isSelected() const = 0;
    virtual bool isDetached() const = 0;
};

} // namespace panekit
