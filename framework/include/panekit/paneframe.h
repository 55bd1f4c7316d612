#pragma once

#include "panekit/browserframe.h"

namespace panekit {

class PageWidget;
class PaneContext;
class PaneManager;

// A frame that shows one page built by name from the configuration.
class PaneFrame : public BrowserFrame {
    Q_OBJECT

public:
    explicit PaneFrame(const QString& name, const QString& id = {}, QWidget* parent = nullptr);

    PageWidget* buildPanesForPage(const QString& pageName);
    PaneContext* getPaneContext() const;
    PaneManager* getPaneManager() const;
};

} // namespace panekit
