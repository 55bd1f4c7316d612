#include "tomcatrunner/stopvariables.h"

#include "tomcatrunner/javatext.h"
#include "tomcatrunner/querystring.h"

#include <algorithm>
#include <array>
#include <memory>

namespace tomcatrunner {

namespace {

using tracehook::PageVariables;

constexpr std::int32_t AccSynthetic = 0x1000;

// The locals every generated service method declares: the page's implicit objects, which
// the page's own code cannot declare again, and "this".
constexpr std::array ImplicitObjects = {"request",     "response", "pageContext", "session",
                                        "application", "config",   "out",         "page",
                                        "exception",   "this"};

// Names Jasper gives to what it adds: "_jspx_page_context", "_jspx_th_c_005fout_005f0",
// "_jsp_instancemanager", "_el_expressionfactory", "_005fjspx_005ftagPool_c_005fout".
bool isJaspersName(std::string_view name) {
    return name.starts_with("_jsp") || name.starts_with("_el_") || name.starts_with("_005f");
}

// Attributes of the page scope under which Jasper keeps the implicit objects
// ("jakarta.servlet.jsp.jspRequest", "jakarta.servlet.jsp.jspOut", ...).
bool isImplicitObjectAttribute(std::string_view name) {
    return name.starts_with("jakarta.servlet.jsp.jsp");
}

// Attributes of the application scope that Tomcat and its parts keep there
// ("jakarta.servlet.context.tempdir", "org.apache.tomcat.InstanceManager", ...): names
// reserved for the container.
bool isContainersAttribute(std::string_view name) {
    for (const char* prefix : {"org.apache.", "jakarta.", "javax.", "java.", "sun.", "com.sun."}) {
        if (name.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

// MessageBytes holds its text as a String or as bytes.
constexpr std::int32_t TypeString = 1;
constexpr std::int32_t TypeBytes = 2;

// Shows a request parameter: its one value as a string, several as a String[] with the
// values below.
void showParameter(VariableNode& node, const std::vector<std::string>& values) {
    if (values.size() == 1) {
        node.type = "java.lang.String";
        node.text = values[0];
        node.setValue(PageVariables::quoted(values[0]));
        return;
    }
    node.type = "java.lang.String[]";
    node.setValue("java.lang.String[" + std::to_string(values.size()) + "]");
    for (std::size_t i = 0; i < values.size() && i < PageVariables::maxChildren; ++i) {
        node.addChild("[" + std::to_string(i) + "]", "java.lang.String")
            .setValue(PageVariables::quoted(values[i]));
    }
}

} // namespace

// The groups of one read, in the record's order.
struct StopVariables::Groups {
    VariableNode locals;
    VariableNode parameters;
    VariableNode pageAttributes;
    VariableNode requestAttributes;
    VariableNode sessionAttributes;
    VariableNode applicationAttributes;
    VariableNode fields;

    Groups() {
        const std::pair<VariableNode*, const char*> headings[] = {
            {&locals, PageVariables::localsGroup},
            {&parameters, PageVariables::parametersGroup},
            {&pageAttributes, PageVariables::pageAttributesGroup},
            {&requestAttributes, PageVariables::requestAttributesGroup},
            {&sessionAttributes, PageVariables::sessionAttributesGroup},
            {&applicationAttributes, PageVariables::applicationAttributesGroup},
            {&fields, PageVariables::fieldsGroup},
        };
        for (const auto& [group, heading] : headings) {
            group->name = heading;
            group->group = true;
        }
        for (VariableNode* scope :
             {&pageAttributes, &requestAttributes, &sessionAttributes, &applicationAttributes}) {
            scope->sortChildren = true;
        }
    }
    std::vector<VariableNode*> inOrder() {
        return {&locals,
                &parameters,
                &pageAttributes,
                &requestAttributes,
                &sessionAttributes,
                &applicationAttributes,
                &fields};
    }
};

StopVariables::StopVariables(jdwp::Debuggee& vm, bool allVariables)
    : allVariables_(allVariables), pipeline_(vm.connection()), objects_(pipeline_),
      containers_(objects_), describer_(objects_) {}

std::vector<tracehook::PageVariable> StopVariables::read(const Stop& stop) {
    Groups groups;
    const int roundsBefore = pipeline_.rounds();
    const int commandsBefore = pipeline_.commands();
    const jdwp::ThreadId thread = stop.thread;
    const jdwp::Location& at = stop.at;
    // A page context read at an earlier stop of the same run: the scopes are read at once.
    const std::uint64_t contextRun =
        stop.pageRun != 0 && at.classId == stop.pageClass ? stop.pageRun : 0;
    const auto known = contextRun != 0 ? pageContexts_.find(contextRun) : pageContexts_.end();
    const bool contextKnown = known != pageContexts_.end();
    if (contextKnown) {
        readScopes(known->second, groups);
    }
    // The frame and the method's variables in the first round.
    auto frame = std::make_shared<std::optional<jdwp::Frame>>();
    auto pending = std::make_shared<int>(2);
    const auto key = std::pair{at.classId, at.methodId};
    const auto bothKnown = [this, thread, frame, pending, key, contextRun, contextKnown, &groups] {
        if (--*pending > 0 || !*frame) {
            return;
        }
        const auto& table = tables_[key];
        readFrame(thread, **frame, table ? &*table : nullptr, contextRun, contextKnown, groups);
    };
    pipeline_.frames(thread, 0, 1, [frame, bothKnown](auto frames) {
        if (frames && !frames->empty()) {
            *frame = frames->front();
        }
        bothKnown();
    });
    if (tables_.contains(key)) {
        bothKnown();
    } else {
        pipeline_.variableTable(at.classId, at.methodId, [this, key, bothKnown](auto table) {
            tables_[key] = std::move(table);
            bothKnown();
        });
    }
    pipeline_.run();
    lastRounds_ = pipeline_.rounds() - roundsBefore;
    lastCommands_ = pipeline_.commands() - commandsBefore;
    return flatten(groups.inOrder());
}

bool StopVariables::shownLocal(const jdwp::Variable& v) const {
    if (allVariables_) {
        return true;
    }
    return !isJaspersName(v.name) && std::find(ImplicitObjects.begin(), ImplicitObjects.end(),
                                               v.name) == ImplicitObjects.end();
}

void StopVariables::readFrame(jdwp::ThreadId thread, const jdwp::Frame& frame,
                              const jdwp::VariableTable* table, std::uint64_t contextRun,
                              bool contextKnown, Groups& groups) {
    // Each local read suspends the whole VM for a moment (a safepoint in HotSpot 17): only
    // the locals shown and the page context are read.
    std::vector<const jdwp::Variable*> wanted;
    const jdwp::Variable* pageContext = nullptr;
    if (table != nullptr) {
        for (const jdwp::Variable& v : table->variables) {
            if (!v.inScopeAt(frame.location.index) || v.signature.empty()) {
                continue;
            }
            if (v.name == "_jspx_page_context" && !contextKnown) {
                pageContext = &v;
            }
            if (shownLocal(v) || &v == pageContext) {
                wanted.push_back(&v);
            }
        }
    }
    // In the order they were declared.
    std::stable_sort(wanted.begin(), wanted.end(), [](const auto* a, const auto* b) {
        return a->codeIndex != b->codeIndex ? a->codeIndex < b->codeIndex : a->slot < b->slot;
    });
    std::vector<jdwp::SlotRequest> slots;
    for (const jdwp::Variable* v : wanted) {
        slots.push_back({v->slot, static_cast<jdwp::Tag>(v->signature[0])});
    }
    if (!slots.empty()) {
        pipeline_.frameValues(
            thread, frame.frameId, slots,
            [this, wanted, pageContext, contextRun, &groups](auto values) {
                if (!values || values->size() != wanted.size()) {
                    return;
                }
                for (std::size_t i = 0; i < wanted.size(); ++i) {
                    const jdwp::Variable& v = *wanted[i];
                    const jdwp::Value& value = (*values)[i];
                    if (&v == pageContext && !value.isNull()) {
                        if (contextRun != 0) {
                            constexpr std::size_t MaxRuns = 1000;
                            if (pageContexts_.size() >= MaxRuns) {
                                pageContexts_.clear();
                            }
                            pageContexts_[contextRun] = value.objectId();
                        }
                        readScopes(value.objectId(), groups);
                    }
                    if (shownLocal(v)) {
                        describer_.describe(
                            value, groups.locals.addChild(v.name, javatext::typeName(v.signature)),
                            true);
                    }
                }
            });
    }
    if (pageContext == nullptr && !contextKnown) {
        // A fragment's body runs in a helper that holds the page context in a field.
        pipeline_.thisObject(thread, frame.frameId, [this, &groups](auto self) {
            if (!self || !self->isObject() || self->isNull()) {
                return;
            }
            const jdwp::ObjectId helper = self->objectId();
            objects_.layoutOf(helper, [this, helper, &groups](const ClassLayout* layout) {
                if (layout == nullptr || layout->instanceField("_jspx_page_context") == nullptr) {
                    return;
                }
                objects_.read(helper, {"_jspx_page_context"}, [this, &groups](auto values) {
                    if (values && !(*values)[0].isNull()) {
                        readScopes((*values)[0].objectId(), groups);
                    }
                });
            });
        });
    }
}

void StopVariables::readScopes(jdwp::ObjectId pageContext, Groups& groups) {
    // Jasper's PageContextImpl: the page scope's map, the request, the servlet context, and
    // the page itself.
    objects_.read(
        pageContext, {"attributes", "request", "context", "servlet"}, [this, &groups](auto values) {
            if (!values) {
                return;
            }
            const auto& v = *values;
            if (!v[0].isNull()) {
                readAttributes(v[0].objectId(), groups.pageAttributes, isImplicitObjectAttribute);
            }
            if (!v[1].isNull()) {
                unwrapRequest(v[1].objectId(), 0, groups);
            }
            if (!v[2].isNull()) {
                readApplication(v[2].objectId(), groups);
            }
            if (!v[3].isNull()) {
                readPageFields(v[3].objectId(), groups.fields);
            }
        });
}

void StopVariables::readApplication(jdwp::ObjectId servletContext, Groups& groups) {
    // ApplicationContextFacade, then ApplicationContext and its attributes' map.
    objects_.read(servletContext, {"context"}, [this, &groups](auto facade) {
        if (!facade || (*facade)[0].isNull()) {
            return;
        }
        objects_.read((*facade)[0].objectId(), {"attributes"},
                      [this, &groups](auto context) {
                          if (context && !(*context)[0].isNull()) {
                              readAttributes((*context)[0].objectId(), groups.applicationAttributes,
                                             isContainersAttribute);
                          }
                      },
                      true);
    });
}

void StopVariables::unwrapRequest(jdwp::ObjectId request, int hops, Groups& groups) {
    // An included or forwarded page sees the request through wrappers; the request itself
    // is Catalina's, behind its facade.
    constexpr int MaxWrappers = 8;
    objects_.layoutOf(request, [this, request, hops, &groups](const ClassLayout* layout) {
        if (layout == nullptr) {
            return;
        }
        if (layout->isA("org.apache.catalina.connector.Request")) {
            readRequest(request, groups);
            return;
        }
        const bool facade = layout->isA("org.apache.catalina.connector.RequestFacade");
        if (layout->instanceField("request") == nullptr || (!facade && hops >= MaxWrappers)) {
            return;
        }
        // A facade serves one request; a wrapper may be given another request.
        objects_.read(
            request, {"request"},
            [this, hops, &groups](auto inner) {
                if (inner && !(*inner)[0].isNull()) {
                    unwrapRequest((*inner)[0].objectId(), hops + 1, groups);
                }
            },
            facade);
    });
}

void StopVariables::readRequest(jdwp::ObjectId request, Groups& groups) {
    objects_.read(request, {"attributes", "session", "parametersParsed", "coyoteRequest"},
                  [this, &groups](auto values) {
                      if (!values) {
                          return;
                      }
                      const auto& v = *values;
                      if (!v[0].isNull()) {
                          readAttributes(v[0].objectId(), groups.requestAttributes, nullptr);
                      }
                      if (!v[1].isNull()) {
                          // StandardSession; an invalidated one holds nothing.
                          objects_.read(v[1].objectId(), {"attributes", "isValid"},
                                        [this, &groups](auto session) {
                                            if (session && (*session)[1].asBoolean() &&
                                                !(*session)[0].isNull()) {
                                                readAttributes((*session)[0].objectId(),
                                                               groups.sessionAttributes, nullptr);
                                            }
                                        });
                      }
                      if (!v[3].isNull()) {
                          readParameters(v[3].objectId(), v[2].asBoolean(), groups.parameters);
                      }
                  });
}

void StopVariables::readParameters(jdwp::ObjectId coyoteRequest, bool parsed, VariableNode& group) {
    // Coyote's request holds the parameters (org.apache.tomcat.util.http.Parameters) and
    // the query string.
    objects_.read(coyoteRequest, {"parameters", "queryMB"}, [this, parsed, &group](auto coyote) {
        if (!coyote || (*coyote)[0].isNull()) {
            return;
        }
        const jdwp::ObjectId query = (*coyote)[1].objectId();
        objects_.read((*coyote)[0].objectId(), {"paramHashValues", "didQueryParameters"},
                      [this, parsed, query, &group](auto parameters) {
                          if (!parameters) {
                              return;
                          }
                          // Tomcat parses parameters when the page first asks for one; until
                          // then they are read from the query.
                          if ((parsed || (*parameters)[1].asBoolean()) &&
                              !(*parameters)[0].isNull()) {
                              readParametersFromMap((*parameters)[0].objectId(), group);
                          } else if (query != 0) {
                              readParametersFromQuery(query, group);
                          }
                      });
    });
}

void StopVariables::readParametersFromMap(jdwp::ObjectId map, VariableNode& group) {
    // A LinkedHashMap of each name's values.
    containers_.read(map, PageVariables::maxChildren, [this, &group](auto contents) {
        if (!contents) {
            return;
        }
        for (const auto& [key, list] : contents->entries) {
            if (key.isNull() || list.isNull()) {
                continue;
            }
            VariableNode& node = group.addChild();
            node.key = std::make_unique<VariableNode>();
            node.namedByKeyText = true;
            describer_.describe(key, *node.key, false);
            readParameterValues(list.objectId(), node);
        }
    });
}

void StopVariables::readParameterValues(jdwp::ObjectId list, VariableNode& node) {
    // An ArrayList of strings.
    containers_.read(list, PageVariables::maxChildren, [this, &node](auto elements) {
        if (!elements) {
            return;
        }
        struct Texts {
            std::vector<std::string> values;
            std::size_t pending = 1;
        };
        auto texts = std::make_shared<Texts>();
        texts->values.resize(elements->elements.size());
        const auto arrived = [texts, &node] {
            if (--texts->pending == 0) {
                showParameter(node, texts->values);
            }
        };
        for (std::size_t i = 0; i < elements->elements.size(); ++i) {
            if (elements->elements[i].isNull()) {
                continue;
            }
            ++texts->pending;
            objects_.string(elements->elements[i].objectId(), [texts, i, arrived](auto text) {
                texts->values[i] = text.value_or("");
                arrived();
            });
        }
        arrived();
    });
}

void StopVariables::readParametersFromQuery(jdwp::ObjectId queryBytes, VariableNode& group) {
    const auto show = [&group](const std::string& query) {
        // One entry per name, in the order the names first come, as the parsed map keeps them.
        std::vector<std::pair<std::string, std::vector<std::string>>> byName;
        for (auto& [name, value] : parseQueryString(query)) {
            auto it = std::find_if(byName.begin(), byName.end(),
                                   [&](const auto& p) { return p.first == name; });
            if (it == byName.end()) {
                byName.emplace_back(name, std::vector<std::string>{});
                it = byName.end() - 1;
            }
            it->second.push_back(std::move(value));
        }
        for (const auto& [name, values] : byName) {
            showParameter(group.addChild(name), values);
        }
    };
    // org.apache.tomcat.util.buf.MessageBytes: a String, or bytes in a ByteChunk.
    objects_.read(queryBytes, {"type", "strValue", "byteC"}, [this, show](auto message) {
        if (!message) {
            return;
        }
        const std::int32_t type = (*message)[0].asInt();
        if (type == TypeString && !(*message)[1].isNull()) {
            objects_.string((*message)[1].objectId(), [show](auto text) {
                if (text) {
                    show(*text);
                }
            });
        } else if (type == TypeBytes && !(*message)[2].isNull()) {
            objects_.read((*message)[2].objectId(), {"buff", "start", "end"},
                          [this, show](auto chunk) {
                              if (!chunk || (*chunk)[0].isNull()) {
                                  return;
                              }
                              const std::int32_t start = (*chunk)[1].asInt();
                              const std::int32_t end = (*chunk)[2].asInt();
                              if (start < 0 || end <= start) {
                                  return;
                              }
                              objects_.arrayValues((*chunk)[0].objectId(), start, end - start,
                                                   [show](auto bytes) {
                                                       if (!bytes) {
                                                           return;
                                                       }
                                                       std::string query;
                                                       for (const jdwp::Value& b : *bytes) {
                                                           query += static_cast<char>(b.asByte());
                                                       }
                                                       show(query);
                                                   });
                          });
        }
    });
}

void StopVariables::readAttributes(jdwp::ObjectId map, VariableNode& group,
                                   bool (*containers)(std::string_view)) {
    const auto shown = [this, containers](std::string_view name) {
        return allVariables_ || containers == nullptr || !containers(name);
    };
    // The container's entries are not read again once their names are known.
    const auto wanted = [this, shown](const jdwp::Value& key) {
        const auto name =
            key.tag == jdwp::Tag::String ? objects_.knownString(key.objectId()) : std::nullopt;
        return !name || shown(*name);
    };
    containers_.read(
        map, PageVariables::maxChildren,
        [this, &group, shown](auto contents) {
            if (!contents) {
                return;
            }
            for (const auto& [key, value] : contents->entries) {
                if (key.tag != jdwp::Tag::String || value.isNull()) {
                    continue;
                }
                objects_.string(key.objectId(), [this, value, &group, shown](auto name) {
                    if (name && shown(*name)) {
                        describer_.describe(value, group.addChild(*name), true);
                    }
                });
            }
        },
        wanted);
}

void StopVariables::readPageFields(jdwp::ObjectId page, VariableNode& group) {
    objects_.layoutOf(page, [this, page, &group](const ClassLayout* layout) {
        if (layout == nullptr) {
            return;
        }
        const auto declared = [&](const LayoutField& f) {
            return f.declaringType == layout->typeId && !isJaspersName(f.info.name) &&
                   (f.info.modBits & AccSynthetic) == 0;
        };
        std::vector<const LayoutField*> instance;
        for (const LayoutField& f : layout->instanceFields) {
            if (declared(f)) {
                instance.push_back(&f);
            }
        }
        std::vector<const LayoutField*> statics;
        std::vector<jdwp::FieldId> staticIds;
        for (const LayoutField& f : layout->staticFields) {
            if (declared(f)) {
                statics.push_back(&f);
                staticIds.push_back(f.info.fieldId);
            }
        }
        const auto show = [this, &group](const std::vector<const LayoutField*>& fields,
                                         const std::optional<VmObjects::Values>& values) {
            if (!values || values->size() != fields.size()) {
                return;
            }
            for (std::size_t i = 0; i < fields.size(); ++i) {
                VariableNode& node = group.addChild(fields[i]->info.name,
                                                    javatext::typeName(fields[i]->info.signature));
                describer_.describe((*values)[i], node, true);
            }
        };
        if (!instance.empty()) {
            objects_.readFields(page, instance,
                                [show, instance](auto values) { show(instance, values); });
        }
        if (!statics.empty()) {
            pipeline_.staticValues(layout->typeId, staticIds,
                                   [show, statics](auto values) { show(statics, values); });
        }
    });
}

} // namespace tomcatrunner
