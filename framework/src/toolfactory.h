#pragma once

#include "panekit/buildscope.h"
#include "panekit/configuration.h"

#include <memory>

namespace panekit {

class Page;
class PaneManager;
class Tool;

// Creates the tool a pane or controller description names, through the application's parts
// factory, and tells it where it lives. A class the factory does not know becomes a
// placeholder that shows the problem, so the rest of the window still works.
std::unique_ptr<Tool> createTool(const LeafPaneDescription& description, const BuildScope& scope,
                                 PaneManager* manager, Page* page);

} // namespace panekit
