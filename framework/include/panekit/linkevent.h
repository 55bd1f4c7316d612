#pragma once

#include <QIcon>
#include <QImage>
#include <QString>
#include <any>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace panekit {

class AbstractModel;
class BrowserFrame;
class LinkEvent;
class Tool;

// Events travel as shared handles: every receiver of one firing sees the same object, and
// a delivery job queued for later keeps it alive.
using LinkEventPtr = std::shared_ptr<LinkEvent>;

// The message that tools, models, frames and dialogs send each other. Its kind is its class;
// the routing key of a kind is its fully qualified dot-separated name (kindKey()), and a
// receiver's handler is looked up by the exact key of the event. Applications define kinds
// with LinkEventKind (see PANEKIT_LINK_EVENT below).
class LinkEvent {
public:
    // Type codes. Applications number their own codes from CUSTOM_OFFSET on.
    enum Type : std::int32_t {
        NONE = 0,
        SELECTED = 1,
        OPENED = 2,
        FRAME = 3,
        MODEL = 4,
        APP_LINK_STARTED = 5,
        APP_LINK_STOPPED = 6,
        DIALOG_CANCEL = 7,
        DIALOG_FINISH = 8,
        CUSTOM_OFFSET = 100,
    };

    // The key of LinkEvent itself; a handler registered under it is a tool's catch-all.
    static constexpr const char* linkEventClassName = "com.zet.rul.panekitlib.LinkEvent";
    // The name carried by frame events.
    static constexpr const char* frameEventName = "PanekitFrame";

    static QString kindKey() { return QString::fromLatin1(linkEventClassName); }

    explicit LinkEvent(const Tool* source);
    LinkEvent(const Tool* source, const QString& name);
    LinkEvent(const Tool* source, const QString& name, std::any item);
    LinkEvent(const Tool* source, std::int32_t type, const QString& name, std::any item);
    // (tool, 0) would otherwise become a null name without an item; a kind that wants a
    // (tool, integer) constructor declares its own (see LINKEVENTS.md).
    LinkEvent(const Tool* source, int item) = delete;
    // A model event: its name is the model's name as its ModelSupport holds it.
    LinkEvent(const AbstractModel* source, std::int32_t type, std::any item);
    // A frame event: type FRAME and the fixed name frameEventName.
    explicit LinkEvent(const BrowserFrame* frame);
    // A dialog event; the source is the dialog (or another object that is not a tool). The
    // wrapper keeps (tool, integer) constructors of application kinds unambiguous.
    struct DialogSource {
        const void* dialog;
    };
    LinkEvent(DialogSource dialog, std::int32_t type);

    virtual ~LinkEvent();
    LinkEvent(const LinkEvent&) = default;
    LinkEvent& operator=(const LinkEvent&) = delete;

    // The routing key of this event's kind.
    virtual QString getKindKey() const { return kindKey(); }
    // The number of this event's kind (kindIndexOf its key): what a delivery is routed by,
    // so that it does not hash the key at every hop.
    virtual std::size_t getKindIndex() const { return kindIndexOf(getKindKey()); }
    // The number of a kind key in this process: given the first time the key is asked for,
    // the same for every event and class of that key ever after. Callable from any thread.
    static std::size_t kindIndexOf(const QString& key);
    // A shallow copy of the same kind: the item and settings are copied as std::any values,
    // so shared payloads (shared_ptr items) stay shared.
    virtual LinkEventPtr makeCopy() const { return std::make_shared<LinkEvent>(*this); }
    // False when the event has become stale; a saved event that is no longer valid is
    // dropped instead of delivered.
    virtual bool isValid() const { return true; }

    // Identity of the object that fired the event (never dereferenced by the framework).
    const void* getSource() const { return source_; }
    // The firing tool, or null when a model, frame or dialog fired the event.
    const Tool* getSourceTool() const { return sourceTool_; }
    const AbstractModel* getSourceModel() const { return sourceModel_; }

    std::int32_t getEventType() const { return eventType_; }
    QString getName() const { return name_; }
    const std::any& getItem() const { return item_; }
    bool hasItem() const { return item_.has_value(); }
    // The item as a T, or null when there is none or it holds another type.
    template <class T> const T* itemAs() const { return std::any_cast<T>(&item_); }

    QIcon getIcon() const { return icon_; }
    void setIcon(const QIcon& icon) { icon_ = icon; }
    QImage getImage() const { return image_; }
    void setImage(const QImage& image) { image_ = image; }

    const std::any& getSavedSettings() const { return settings_; }
    void setSavedSettings(std::any settings) { settings_ = std::move(settings); }

private:
    const void* source_ = nullptr;
    const Tool* sourceTool_ = nullptr;
    const AbstractModel* sourceModel_ = nullptr;
    std::int32_t eventType_ = NONE;
    QString name_;
    std::any item_;
    QIcon icon_;
    QImage image_;
    std::any settings_;
};

// Base of an application's event kind: Derived supplies `static QString kindKey()`, and
// gets the routing key and makeCopy of its own kind. Base may be another kind, for a
// hierarchy of kinds (routing still uses the exact key of the event's own class).
template <class Derived, class Base = LinkEvent> class LinkEventKind : public Base {
public:
    using Base::Base;

    QString getKindKey() const override { return Derived::kindKey(); }
    std::size_t getKindIndex() const override {
        static const std::size_t index = LinkEvent::kindIndexOf(Derived::kindKey());
        return index;
    }
    LinkEventPtr makeCopy() const override {
        return std::make_shared<Derived>(static_cast<const Derived&>(*this));
    }
};

} // namespace panekit

// Defines an event kind without fields of its own, for example
//   PANEKIT_LINK_EVENT(StartupEvent, "com.zet.kwo.jsp.ui.StartupEvent")
// It has every constructor of LinkEvent.
#define PANEKIT_LINK_EVENT(ClassName, KindKey)                                                     \
    class ClassName final : public ::panekit::LinkEventKind<ClassName> {                           \
    public:                                                                                        \
        using ::panekit::LinkEventKind<ClassName>::LinkEventKind;                                  \
        static QString kindKey() { return QStringLiteral(KindKey); }                               \
    }
