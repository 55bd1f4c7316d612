#include "panekit/toolbarcontribution.h"

#include "panekit/action.h"
#include "panekit/profile.h"
#include "panekit/tool.h"

#include <array>
#include <optional>

namespace panekit {
namespace {

const std::array<const char*, 3> modeNames{"pictures", "text", "pictures_text"};
const std::array<const char*, 5> locationNames{"top", "left", "bottom", "right", "floating"};
const std::array<const char*, 4> policyNames{"never", "focus", "focus_enable", "always"};
const std::array<const char*, 5> borderNames{"unset", "never", "mouse_over", "always", "soft"};

// The index of name in names, or fallback for an unknown or missing name.
template <size_t N>
int indexOf(const std::array<const char*, N>& names, const std::optional<QString>& name,
            int fallback) {
    if (!name)
        return fallback;
    for (size_t i = 0; i < N; ++i)
        if (*name == QLatin1String(names[i]))
            return int(i);
    return fallback;
}

} // namespace

Action* ToolBarButtonData::getAction() const {
    return action_;
}

void ToolBarButtonData::setAction(Action* action) {
    action_ = action;
}

ToolBarComponent* ToolBarContribution::findComponent(const QString& name) const {
    for (const auto& c : getItems()) {
        if (c->getName() == name)
            return c.get();
        if (auto* b = dynamic_cast<ToolBarButtonData*>(c.get()); b && b->getActionCommand() == name)
            return c.get();
    }
    return nullptr;
}

QString ToolBarContribution::getKey() const {
    if (!key_.isEmpty())
        return key_;
    return QStringLiteral("ToolBar.") + (getTool() ? getTool()->getName() : QString());
}

QString ToolBarContribution::modeName(Mode m) {
    return QLatin1String(modeNames[size_t(m)]);
}
QString ToolBarContribution::locationName(Location l) {
    return QLatin1String(locationNames[size_t(l)]);
}
QString ToolBarContribution::policyName(Policy p) {
    return QLatin1String(policyNames[size_t(p)]);
}
QString ToolBarContribution::borderName(BorderStyle b) {
    return QLatin1String(borderNames[size_t(b)]);
}

void ToolBarContribution::initializeFromProfile(const Profile& profile) {
    const QString key = getKey();
    mode_ = Mode(indexOf(modeNames, profile.get(key + ".mode"), mode_));
    location_ = Location(indexOf(locationNames, profile.get(key + ".location"), location_));
    policy_ = Policy(indexOf(policyNames, profile.get(key + ".policy"), policy_));
    border_ = BorderStyle(indexOf(borderNames, profile.get(key + ".border"), border_));
}

void ToolBarContribution::saveToProfile(Profile& profile) const {
    const QString key = getKey();
    profile.set(key + ".mode", modeName(mode_));
    profile.set(key + ".location", locationName(location_));
    profile.set(key + ".policy", policyName(policy_));
    profile.set(key + ".border", borderName(border_));
}

void ToolBarContribution::copyFrom(const ToolBarContribution& other) {
    mode_ = other.mode_;
    location_ = other.location_;
    policy_ = other.policy_;
    border_ = other.border_;
}

} // namespace panekit
