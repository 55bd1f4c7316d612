// The client against a real JVM: tests/jdwp/data/java/Stepper.java run by OpenJDK under the
// JDWP agent. Attaching, breakpoints by line, stepping, reading values, invoking, the events
// of a run, a VM that ends or is killed; and attaching to peers that are no JDWP agent.
// Every wait is for a condition; the bound only turns a hang into a failure.
#include "javaprogram.h"
#include "jdwp/debuggee.h"
#include "jdwp/error.h"
#include "jdwp/events.h"

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace jdwp;
using namespace std::chrono_literals;
using jdwptest::AgentJvm;
using jdwptest::CompiledJava;
using jdwptest::LineMarkers;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr std::int32_t AccStatic = 0x0008; // the class file's modifier bit

// A failure bound only: a correct run on a loaded machine stays far below it.
constexpr Timeout FailureBound = 60s;

const std::filesystem::path StepperSource =
    std::filesystem::path(JDWP_TEST_DATA) / "java" / "Stepper.java";

std::string kindName(const Event& event) {
    return "event kind " + std::to_string(static_cast<int>(kindOf(event)));
}

// Stepper under the agent and a debugger attached to it, with what the tests of a real
// JVM share: the classes compiled once per test process, the marked lines, and helpers
// that fail the test with an exception when the VM does not do what they wait for.
class Jvm : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (classes_ || !setUpError_.empty())
            return;
        try {
            markers_ = std::make_unique<LineMarkers>(StepperSource);
            classes_ = std::make_unique<CompiledJava>(TRACEWIN_JAVAC, StepperSource);
            jdwptest::requireJdkTool(TRACEWIN_JAVA);
        } catch (const std::exception& e) {
            setUpError_ = e.what();
        }
    }

    void SetUp() override {
        if (!setUpError_.empty())
            FAIL() << setUpError_;
    }

    void TearDown() override {
        if (HasFailure() && jvm_)
            std::cerr << "--- the JVM's output:\n" << jvm_->process().output() << "---\n";
    }

    static int line(const std::string& marker) { return markers_->line(marker); }

    // Starts Stepper, attaches, and takes the VMStart event (suspend=y holds every thread).
    void startStepper(const std::vector<std::string>& arguments = {}) {
        jvm_ = std::make_unique<AgentJvm>(TRACEWIN_JAVA, *classes_, "Stepper", arguments,
                                          FailureBound);
        vm_ = Debuggee::attach("127.0.0.1", jvm_->port());
        main_ = next<VmStartEvent>().thread;
    }

    EventSet nextEventSet() {
        std::optional<EventSet> set = vm_->nextEvent(FailureBound);
        if (!set)
            throw std::runtime_error("no event came within the bound");
        return std::move(*set);
    }

    // The next event set, which must hold one event, a T.
    template <class T> T next() {
        const EventSet set = nextEventSet();
        if (set.events.size() != 1)
            throw std::runtime_error("an event set of " + std::to_string(set.events.size()) +
                                     " events, one expected");
        if (const T* event = std::get_if<T>(&set.events.front()))
            return *event;
        throw std::runtime_error("unexpected " + kindName(set.events.front()));
    }

    // Runs the VM from its start until Stepper is prepared; the main thread stays suspended.
    void runUntilStepperPrepared() {
        const RequestId request = vm_->eventRequest.set(
            EventRequest::classPrepare().classMatch("Stepper").suspend(SuspendPolicy::EventThread));
        vm_->vm.resume();
        const ClassPrepareEvent prepared = next<ClassPrepareEvent>();
        EXPECT_EQ(prepared.requestId, request);
        EXPECT_EQ(prepared.signature, "LStepper;");
        EXPECT_EQ(prepared.thread, main_);
        vm_->eventRequest.clear(EventKind::ClassPrepare, request);
        stepper_ = prepared.typeId;
    }

    const std::vector<MethodInfo>& methods() {
        if (methods_.empty())
            methods_ = vm_->referenceType.methods(stepper_);
        return methods_;
    }

    const MethodInfo& method(const std::string& name) {
        for (const MethodInfo& m : methods())
            if (m.name == name)
                return m;
        throw std::runtime_error("Stepper has no method " + name);
    }

    const LineTable& lineTable(MethodId id) {
        auto found = lineTables_.find(id);
        if (found == lineTables_.end())
            found = lineTables_.emplace(id, vm_->method.lineTable(stepper_, id)).first;
        return found->second;
    }

    // The first code of a marked line, searched in every method of Stepper.
    Location locationOf(const std::string& marker) {
        const int wanted = line(marker);
        for (const MethodInfo& m : methods()) {
            const LineTable& table = lineTable(m.methodId);
            for (const LineTableEntry& entry : table.lines)
                if (entry.lineNumber == wanted)
                    return {TypeTag::Class, stepper_, m.methodId, entry.lineCodeIndex};
        }
        throw std::runtime_error("no code on the line marked " + marker);
    }

    // The line of a location in Stepper: the entry with the greatest index not after it.
    int lineAt(const Location& at) {
        EXPECT_EQ(at.classId, stepper_);
        const LineTableEntry* best = nullptr;
        for (const LineTableEntry& entry : lineTable(at.methodId).lines)
            if (entry.lineCodeIndex <= at.index &&
                (!best || entry.lineCodeIndex > best->lineCodeIndex))
                best = &entry;
        return best ? best->lineNumber : -1;
    }

    // "method:marker" of a location, the way the expectations below name places.
    std::string placeOf(const Location& at) {
        std::string methodName = "?";
        for (const MethodInfo& m : methods())
            if (m.methodId == at.methodId)
                methodName = m.name;
        const int number = lineAt(at);
        const std::string marker = markers_->nameOf(number);
        return methodName + ":" + (marker.empty() ? std::to_string(number) : marker);
    }

    // From the VM's start, runs until the hit-th time the marked line is reached.
    LocatedEvent runToLine(const std::string& marker, std::int32_t hit = 1) {
        runUntilStepperPrepared();
        const Location at = locationOf(marker);
        const RequestId request = vm_->eventRequest.set(EventRequest::breakpoint(at).count(hit));
        vm_->thread.resume(main_);
        const LocatedEvent event = next<LocatedEvent>();
        EXPECT_EQ(event.kind, EventKind::Breakpoint);
        EXPECT_EQ(event.requestId, request);
        EXPECT_EQ(event.thread, main_);
        EXPECT_EQ(event.location, at);
        return event;
    }

    // One line step of the thread; the request is cleared once it has reported.
    LocatedEvent step(ThreadId thread, StepDepth depth) {
        const RequestId request =
            vm_->eventRequest.set(EventRequest::step(thread, StepSize::Line, depth)
                                      .classExclude("java.*")
                                      .classExclude("jdk.*")
                                      .classExclude("sun.*")
                                      .count(1));
        vm_->thread.resume(thread);
        const LocatedEvent event = next<LocatedEvent>();
        EXPECT_EQ(event.kind, EventKind::SingleStep);
        EXPECT_EQ(event.requestId, request);
        EXPECT_EQ(event.thread, thread);
        vm_->eventRequest.clear(EventKind::SingleStep, request);
        return event;
    }

    // A local variable of the frame, found by name among those in scope at its location.
    Value local(ThreadId thread, const Frame& frame, const std::string& name) {
        const VariableTable table = vm_->method.variableTable(stepper_, frame.location.methodId);
        for (const Variable& v : table.variables) {
            if (v.name != name || !v.inScopeAt(frame.location.index))
                continue;
            const SlotRequest slot{v.slot, static_cast<Tag>(v.signature.at(0))};
            const std::vector<Value> values =
                vm_->stackFrame.getValues(thread, frame.frameId, std::span(&slot, 1));
            if (values.size() != 1)
                throw std::runtime_error("StackFrame.GetValues gave " +
                                         std::to_string(values.size()) + " values for one");
            return values.front();
        }
        throw std::runtime_error("no local " + name + " in scope");
    }

    Frame topFrame(ThreadId thread) {
        const std::vector<Frame> frames = vm_->thread.frames(thread, 0, 1);
        if (frames.size() != 1)
            throw std::runtime_error("ThreadReference.Frames gave no frame");
        return frames.front();
    }

    static inline std::unique_ptr<LineMarkers> markers_;
    static inline std::unique_ptr<CompiledJava> classes_;
    static inline std::string setUpError_;

    // The JVM outlives the connection to it.
    std::unique_ptr<AgentJvm> jvm_;
    std::unique_ptr<Debuggee> vm_;
    ThreadId main_ = 0;
    ReferenceTypeId stepper_ = 0;
    std::vector<MethodInfo> methods_;
    std::map<MethodId, LineTable> lineTables_;
};

class JvmAttach : public Jvm {};
class JvmBreakpoints : public Jvm {};
class JvmStepping : public Jvm {};
class JvmValues : public Jvm {};
class JvmEvents : public Jvm {};
class JvmEnd : public Jvm {};

TEST_F(JvmAttach, ReadsVersionAndCapabilitiesAndStartsWithVmStart) {
    startStepper();
    const VersionInfo& version = vm_->versionInfo();
    EXPECT_GE(version.jdwpMajor, 17); // the JDK's release
    EXPECT_FALSE(version.vmName.empty());
    EXPECT_FALSE(version.vmVersion.empty());
    EXPECT_EQ(vm_->vm.version().description, version.description);
    EXPECT_TRUE(vm_->capabilities().canGetSourceDebugExtension);
    EXPECT_TRUE(vm_->capabilities().canSetDefaultStratum);
    EXPECT_NO_THROW(vm_->vm.setDefaultStratum("Java"));

    // VMStart came from the main thread, which suspend=y holds before Stepper is loaded.
    EXPECT_NE(main_, 0u);
    EXPECT_EQ(vm_->thread.name(main_), "main");
    EXPECT_TRUE(vm_->thread.status(main_).suspended());
    EXPECT_TRUE(vm_->vm.classesBySignature("LStepper;").empty());
}

TEST_F(JvmBreakpoints, ALineBreakpointIsHitInTheMainThreadWithItsStack) {
    startStepper();
    const LocatedEvent hit = runToLine("loop-body");
    EXPECT_EQ(placeOf(hit.location), "walk:loop-body");

    EXPECT_EQ(vm_->thread.name(hit.thread), "main");
    const ThreadStatusInfo status = vm_->thread.status(hit.thread);
    EXPECT_TRUE(status.suspended());
    EXPECT_EQ(status.threadStatus, ThreadStatus::Running); // suspended while running Java
    const std::vector<Frame> frames = vm_->thread.frames(hit.thread, 0, -1);
    ASSERT_EQ(static_cast<std::int32_t>(frames.size()), vm_->thread.frameCount(hit.thread));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].location, hit.location);
    EXPECT_EQ(placeOf(frames[1].location), "main:main-walk");
    const std::vector<Frame> caller = vm_->thread.frames(hit.thread, 1, 1);
    ASSERT_EQ(caller.size(), 1u);
    EXPECT_EQ(caller[0].location, frames[1].location);

    // The loaded class is found by its signature and among all classes.
    const std::vector<ClassInfo> found = vm_->vm.classesBySignature("LStepper;");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].typeId, stepper_);
    EXPECT_EQ(found[0].refTypeTag, TypeTag::Class);
    EXPECT_NE(found[0].status & ClassStatusInitialized, 0);
    const std::vector<ClassInfo> all = vm_->vm.allClasses();
    EXPECT_TRUE(std::any_of(all.begin(), all.end(), [&](const ClassInfo& c) {
        return c.signature == "LStepper;" && c.typeId == stepper_;
    }));
    EXPECT_TRUE(std::any_of(all.begin(), all.end(), [](const ClassInfo& c) {
        return c.signature == "Ljava/lang/String;";
    }));
    EXPECT_EQ(vm_->referenceType.signature(stepper_), "LStepper;");
}

TEST_F(JvmBreakpoints, ACountedBreakpointStopsOnItsNthPassOnly) {
    startStepper();
    runToLine("loop-add", 3);
    const Frame frame = topFrame(main_);
    EXPECT_EQ(local(main_, frame, "i").asInt(), 2);
    // The request expired with its count: the run goes on to its end without a stop.
    vm_->thread.resume(main_);
    EXPECT_TRUE(std::holds_alternative<VmDeathEvent>(nextEventSet().events.at(0)));
}

TEST_F(JvmStepping, StepOverVisitsTheLoopLineByLine) {
    startStepper();
    const LocatedEvent start = runToLine("walk-array");
    std::vector<std::string> visited;
    for (int i = 0; i < 9; ++i)
        visited.push_back(placeOf(step(start.thread, StepDepth::Over).location));
    EXPECT_THAT(visited, ElementsAre("walk:walk-text", "walk:walk-sum", "walk:loop-head",
                                     "walk:loop-body", "walk:loop-add", "walk:loop-head",
                                     "walk:loop-body", "walk:loop-add", "walk:loop-head"));
    // The last stop is on the loop's i++, not done yet.
    const Frame frame = topFrame(start.thread);
    EXPECT_EQ(local(start.thread, frame, "i").asInt(), 1);
    EXPECT_EQ(local(start.thread, frame, "sum").asInt(), 1);
}

TEST_F(JvmStepping, StepIntoEntersTheCalledMethodsAndComesBack) {
    startStepper();
    const LocatedEvent start = runToLine("main-walk");
    const ThreadId thread = start.thread;
    EXPECT_EQ(vm_->thread.frameCount(thread), 1);

    std::vector<std::string> visited;
    std::vector<std::int32_t> depths;
    auto take = [&](StepDepth depth) {
        visited.push_back(placeOf(step(thread, depth).location));
        depths.push_back(vm_->thread.frameCount(thread));
    };
    take(StepDepth::Into); // into walk
    take(StepDepth::Over);
    take(StepDepth::Over);
    take(StepDepth::Over);
    take(StepDepth::Over);
    take(StepDepth::Into); // into square
    take(StepDepth::Into);
    take(StepDepth::Into); // back in walk, where square's value is stored
    take(StepDepth::Into);
    EXPECT_THAT(visited, ElementsAre("walk:walk-array", "walk:walk-text", "walk:walk-sum",
                                     "walk:loop-head", "walk:loop-body", "square:square-body",
                                     "square:square-return", "walk:loop-body", "walk:loop-add"));
    EXPECT_THAT(depths, ElementsAre(2, 2, 2, 2, 2, 3, 3, 2, 2));
}

TEST_F(JvmValues, ReadsLocalsStringsArraysAndFieldsOfThis) {
    startStepper();
    const LocatedEvent hit = runToLine("loop-add", 3);
    const Frame frame = topFrame(hit.thread);
    EXPECT_EQ(frame.location, hit.location);

    // int locals and the argument.
    EXPECT_EQ(local(hit.thread, frame, "i"), Value::ofInt(2));
    EXPECT_EQ(local(hit.thread, frame, "sum"), Value::ofInt(1));
    EXPECT_EQ(local(hit.thread, frame, "rounds"), Value::ofInt(4));
    const VariableTable table = vm_->method.variableTable(stepper_, frame.location.methodId);
    EXPECT_EQ(table.argCnt, 2); // this and rounds

    // A String local: the VM tags it as a string; its text is read apart.
    const Value text = local(hit.thread, frame, "text");
    ASSERT_EQ(text.tag, Tag::String);
    EXPECT_EQ(vm_->string.value(text.objectId()), "squares");

    // An int array, filled up to the current pass.
    const Value squares = local(hit.thread, frame, "squares");
    ASSERT_EQ(squares.tag, Tag::Array);
    ASSERT_EQ(vm_->array.length(squares.objectId()), 4);
    std::vector<std::int32_t> elements;
    for (const Value& v : vm_->array.getValues(squares.objectId(), 0, 4))
        elements.push_back(v.asInt());
    EXPECT_THAT(elements, ElementsAre(0, 1, 4, 0));
    const std::vector<Value> middle = vm_->array.getValues(squares.objectId(), 1, 2);
    EXPECT_THAT(middle, ElementsAre(Value::ofInt(1), Value::ofInt(4)));

    // Fields of this.
    const Value self = vm_->stackFrame.thisObject(hit.thread, frame.frameId);
    ASSERT_EQ(self.tag, Tag::Object);
    ASSERT_FALSE(self.isNull());
    const auto [tag, type] = vm_->object.referenceType(self.objectId());
    EXPECT_EQ(tag, TypeTag::Class);
    EXPECT_EQ(type, stepper_);
    std::map<std::string, FieldInfo> fields;
    for (const FieldInfo& f : vm_->referenceType.fields(type))
        fields[f.name] = f;
    ASSERT_TRUE(fields.contains("counter") && fields.contains("label"));
    EXPECT_EQ(fields["counter"].signature, "I");
    const std::vector<FieldId> wanted{fields["counter"].fieldId, fields["label"].fieldId};
    const std::vector<Value> values = vm_->object.getValues(self.objectId(), wanted);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0], Value::ofInt(7));
    ASSERT_EQ(values[1].tag, Tag::String);
    EXPECT_EQ(vm_->string.value(values[1].objectId()), "stepper");

    // The caller, static main, has no this.
    const std::vector<Frame> caller = vm_->thread.frames(hit.thread, 1, 1);
    ASSERT_EQ(caller.size(), 1u);
    EXPECT_TRUE(vm_->stackFrame.thisObject(hit.thread, caller[0].frameId).isNull());
}

TEST_F(JvmValues, FieldsOfEveryKindKeepTheirValues) {
    startStepper();
    const LocatedEvent hit = runToLine("walk-array");
    const Value self = vm_->stackFrame.thisObject(hit.thread, topFrame(hit.thread).frameId);
    // Instance fields only: HotSpot 17 crashes when ObjectReference.GetValues is given a
    // static field.
    std::vector<FieldInfo> fields;
    std::vector<FieldId> ids;
    for (const FieldInfo& f : vm_->referenceType.fields(stepper_)) {
        if ((f.modBits & AccStatic) == 0) {
            fields.push_back(f);
            ids.push_back(f.fieldId);
        }
    }
    const std::vector<Value> values = vm_->object.getValues(self.objectId(), ids);
    ASSERT_EQ(values.size(), fields.size());
    std::map<std::string, Value> byName;
    for (std::size_t i = 0; i < fields.size(); ++i)
        byName[fields[i].name] = values[i];

    EXPECT_EQ(byName["smallNegative"].tag, Tag::Byte);
    EXPECT_EQ(byName["smallNegative"].asByte(), -2);
    EXPECT_EQ(byName["shortNegative"].tag, Tag::Short);
    EXPECT_EQ(byName["shortNegative"].asShort(), -300);
    EXPECT_EQ(byName["intNegative"], Value::ofInt(-40));
    EXPECT_EQ(byName["longNegative"].tag, Tag::Long);
    EXPECT_EQ(byName["longNegative"].asLong(), -5'000'000'000);
    EXPECT_EQ(byName["ready"], Value::ofBoolean(true));
    EXPECT_EQ(byName["initial"].tag, Tag::Char);
    EXPECT_EQ(byName["initial"].asChar(), u'\u00e9');
    EXPECT_EQ(byName["half"].tag, Tag::Float);
    EXPECT_EQ(byName["half"].asFloat(), 0.5f);
    EXPECT_EQ(byName["ratio"].tag, Tag::Double);
    EXPECT_EQ(byName["ratio"].asDouble(), -1.25);
    EXPECT_TRUE(byName["nothing"].isNull());
    // Text beyond ASCII, a character outside the BMP included, arrives as UTF-8.
    ASSERT_EQ(byName["greeting"].tag, Tag::String);
    EXPECT_EQ(vm_->string.value(byName["greeting"].objectId()),
              "gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80");
}

TEST_F(JvmValues, ObjectArraysAndStaticFields) {
    // Arguments that choose no mode: main only takes them in.
    startStepper({"alpha", "beta"});
    const LocatedEvent hit = runToLine("main-walk");

    // An array of objects comes with a tag for each element, unlike one of ints.
    const Value args = local(hit.thread, topFrame(hit.thread), "args");
    ASSERT_EQ(args.tag, Tag::Array);
    ASSERT_EQ(vm_->array.length(args.objectId()), 2);
    const std::vector<Value> words = vm_->array.getValues(args.objectId(), 0, 2);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].tag, Tag::String);
    EXPECT_EQ(vm_->string.value(words[0].objectId()), "alpha");
    EXPECT_EQ(vm_->string.value(words[1].objectId()), "beta");

    // A static field, read through the class.
    FieldId instances = 0;
    for (const FieldInfo& f : vm_->referenceType.fields(stepper_))
        if (f.name == "instances")
            instances = f.fieldId;
    ASSERT_NE(instances, 0u);
    const std::vector<Value> statics =
        vm_->referenceType.getValues(stepper_, std::span(&instances, 1));
    EXPECT_THAT(statics, ElementsAre(Value::ofInt(1)));
}

TEST_F(JvmValues, RefusedCommandsAreVmErrorsWithTheirCodeAndTheSessionGoesOn) {
    startStepper();
    const LocatedEvent hit = runToLine("walk-array");
    auto codeOf = [](const std::function<void()>& call) -> int {
        try {
            call();
        } catch (const VmError& e) {
            EXPECT_THAT(e.what(), HasSubstr(errorName(e.code())));
            return e.code();
        }
        return 0;
    };
    // Stepper has no source map: javac writes none.
    EXPECT_EQ(codeOf([&] { vm_->referenceType.sourceDebugExtension(stepper_); }),
              error_code::AbsentInformation);
    const SlotRequest noSuchSlot{99, Tag::Int};
    EXPECT_EQ(codeOf([&] {
                  vm_->stackFrame.getValues(hit.thread, topFrame(hit.thread).frameId,
                                            std::span(&noSuchSlot, 1));
              }),
              error_code::InvalidSlot);
    const Value self = vm_->stackFrame.thisObject(hit.thread, topFrame(hit.thread).frameId);
    EXPECT_EQ(codeOf([&] { vm_->thread.frameCount(self.objectId()); }), error_code::InvalidThread);

    EXPECT_EQ(vm_->thread.frameCount(hit.thread), 2);
}

TEST_F(JvmValues, InvokesAMethodOfThisInTheSuspendedThread) {
    startStepper();
    const LocatedEvent hit = runToLine("walk-field");
    const Value self = vm_->stackFrame.thisObject(hit.thread, topFrame(hit.thread).frameId);
    const InvokeResult result = vm_->object.invokeMethod(
        self.objectId(), hit.thread, stepper_, method("describe").methodId, {}, 0, FailureBound);
    EXPECT_TRUE(result.exception.isNull());
    ASSERT_EQ(result.returnValue.tag, Tag::String);
    EXPECT_EQ(vm_->string.value(result.returnValue.objectId()), "stepper:7");

    // Object.toString through the same object, and an exception thrown by the call.
    const std::vector<ClassInfo> objectClass = vm_->vm.classesBySignature("Ljava/lang/Object;");
    ASSERT_EQ(objectClass.size(), 1u);
    MethodId toString = 0;
    for (const MethodInfo& m : vm_->referenceType.methods(objectClass[0].typeId))
        if (m.name == "toString")
            toString = m.methodId;
    const InvokeResult described =
        vm_->object.invokeMethod(self.objectId(), hit.thread, objectClass[0].typeId, toString, {},
                                 InvokeNonvirtual, FailureBound);
    ASSERT_EQ(described.returnValue.tag, Tag::String);
    EXPECT_THAT(vm_->string.value(described.returnValue.objectId()), HasSubstr("Stepper@"));

    const Value negative{Tag::Long, static_cast<std::uint64_t>(-1)};
    const InvokeResult failed =
        vm_->object.invokeMethod(self.objectId(), hit.thread, stepper_, method("nap").methodId,
                                 std::span(&negative, 1), 0, FailureBound);
    ASSERT_FALSE(failed.exception.isNull());
    const auto [tag, type] = vm_->object.referenceType(failed.exception.objectId());
    EXPECT_EQ(vm_->referenceType.signature(type), "Ljava/lang/IllegalArgumentException;");
    static_cast<void>(tag);

    // The thread is still suspended where it was.
    EXPECT_TRUE(vm_->thread.status(hit.thread).suspended());
    EXPECT_EQ(topFrame(hit.thread).location, hit.location);
}

TEST_F(JvmEvents, AStepOntoABreakpointReportsBothInOneSet) {
    startStepper();
    const LocatedEvent hit = runToLine("loop-add");
    const RequestId breakpoint =
        vm_->eventRequest.set(EventRequest::breakpoint(locationOf("loop-body")));
    ASSERT_EQ(placeOf(step(hit.thread, StepDepth::Over).location), "walk:loop-head");

    const RequestId stepping = vm_->eventRequest.set(
        EventRequest::step(hit.thread, StepSize::Line, StepDepth::Over).count(1));
    vm_->thread.resume(hit.thread);
    const EventSet set = nextEventSet();
    EXPECT_EQ(set.suspendPolicy, SuspendPolicy::EventThread);
    std::map<EventKind, LocatedEvent> byKind;
    for (const Event& e : set.events)
        if (const auto* located = std::get_if<LocatedEvent>(&e))
            byKind[located->kind] = *located;
    ASSERT_EQ(set.events.size(), 2u);
    ASSERT_EQ(byKind.size(), 2u);
    EXPECT_EQ(byKind[EventKind::SingleStep].requestId, stepping);
    EXPECT_EQ(byKind[EventKind::Breakpoint].requestId, breakpoint);
    EXPECT_EQ(byKind[EventKind::SingleStep].location, byKind[EventKind::Breakpoint].location);
    EXPECT_EQ(placeOf(byKind[EventKind::Breakpoint].location), "walk:loop-body");
}

TEST_F(JvmEvents, CaughtAndUncaughtExceptionsAreReportedByTheirFilters) {
    startStepper();
    runUntilStepperPrepared();
    const RequestId caught =
        vm_->eventRequest.set(EventRequest::exception(0, true, false).classMatch("Stepper"));
    const RequestId uncaught =
        vm_->eventRequest.set(EventRequest::exception(0, false, true).classMatch("Stepper"));
    vm_->thread.resume(main_);

    const ExceptionEvent first = next<ExceptionEvent>();
    EXPECT_EQ(first.requestId, caught);
    EXPECT_EQ(first.thread, main_);
    EXPECT_EQ(placeOf(first.location), "fail:throw");
    ASSERT_TRUE(first.catchLocation.has_value());
    EXPECT_EQ(placeOf(*first.catchLocation), "throwAndCatch:catch");
    const auto [tag, type] = vm_->object.referenceType(first.exception.objectId());
    EXPECT_EQ(vm_->referenceType.signature(type), "Ljava/lang/IllegalStateException;");
    static_cast<void>(tag);
    vm_->thread.resume(first.thread);

    const ExceptionEvent second = next<ExceptionEvent>();
    EXPECT_EQ(second.requestId, uncaught);
    EXPECT_NE(second.thread, main_);
    EXPECT_EQ(vm_->thread.name(second.thread), "thrower");
    EXPECT_EQ(placeOf(second.location), "failUncaught:throw-uncaught");
    EXPECT_FALSE(second.catchLocation.has_value());
    vm_->thread.resume(second.thread);

    EXPECT_TRUE(std::holds_alternative<VmDeathEvent>(nextEventSet().events.at(0)));
    EXPECT_THAT(jvm_->process().output(), HasSubstr("UnsupportedOperationException: not caught"));
}

TEST_F(JvmEvents, MethodExitIsReportedForTheMatchedClassOnly) {
    startStepper();
    runUntilStepperPrepared();
    const RequestId request = vm_->eventRequest.set(
        EventRequest::methodExit().classMatch("Stepper").suspend(SuspendPolicy::None));
    vm_->thread.resume(main_);

    // With no thread suspended the program runs to its end; its exits arrive meanwhile.
    std::vector<std::string> exits;
    for (;;) {
        const EventSet set = nextEventSet();
        EXPECT_EQ(set.suspendPolicy, SuspendPolicy::None);
        ASSERT_EQ(set.events.size(), 1u);
        if (std::holds_alternative<VmDeathEvent>(set.events[0]))
            break;
        const auto* exit = std::get_if<MethodExitEvent>(&set.events[0]);
        ASSERT_NE(exit, nullptr) << kindName(set.events[0]);
        EXPECT_EQ(exit->requestId, request);
        EXPECT_EQ(exit->location.classId, stepper_);
        std::string name = "?";
        for (const MethodInfo& m : methods())
            if (m.methodId == exit->location.methodId)
                name = m.name;
        exits.push_back(name);
    }
    // The JDK's agent reports no exit by an exception (fail, failUncaught).
    EXPECT_THAT(exits, ElementsAre("<init>", "square", "square", "square", "square", "walk",
                                   "throwAndCatch", "dieInAnotherThread", "main"));
}

TEST_F(JvmEnd, ARunToItsEndGivesVmDeathThenTheDisconnect) {
    startStepper();
    vm_->vm.resume();

    const EventSet death = nextEventSet();
    ASSERT_EQ(death.events.size(), 1u);
    const auto* vmDeath = std::get_if<VmDeathEvent>(&death.events[0]);
    ASSERT_NE(vmDeath, nullptr) << kindName(death.events[0]);
    EXPECT_EQ(vmDeath->requestId, 0); // sent unasked

    const EventSet end = nextEventSet();
    const auto* disconnect = std::get_if<VmDisconnectedEvent>(&end.events.at(0));
    ASSERT_NE(disconnect, nullptr);
    EXPECT_FALSE(disconnect->reason.empty());
    EXPECT_FALSE(vm_->connection().isOpen());

    EXPECT_THROW(vm_->vm.version(), DisconnectedError);
    EXPECT_THROW(vm_->thread.frameCount(main_), DisconnectedError);
    EXPECT_THROW(vm_->nextEvent(FailureBound), DisconnectedError);

    EXPECT_EQ(jvm_->process().waitForExit(FailureBound), 0);
    EXPECT_THAT(jvm_->process().output(), HasSubstr("done 21 caught here joined"));
}

TEST_F(JvmEnd, ADisposedSessionLeavesTheVmRunningForTheNextDebugger) {
    startStepper({"spin"});
    runUntilStepperPrepared();
    const Location spinAdd = locationOf("spin-add");
    vm_->eventRequest.set(EventRequest::breakpoint(spinAdd));
    vm_->vm.dispose();
    // The VM closes the connection; the breakpoint went with the session.
    const EventSet end = nextEventSet();
    ASSERT_EQ(end.events.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<VmDisconnectedEvent>(end.events[0]));
    EXPECT_THROW(vm_->vm.version(), DisconnectedError);

    // The next session looks the class up again; a method's id outlives the session.
    const auto next = Debuggee::attach("127.0.0.1", jvm_->waitForNextPort(FailureBound));
    const std::vector<ClassInfo> found = next->vm.classesBySignature("LStepper;");
    ASSERT_EQ(found.size(), 1u);
    next->vm.suspend();
    const Location again{TypeTag::Class, found[0].typeId, spinAdd.methodId, spinAdd.index};
    const RequestId request = next->eventRequest.set(EventRequest::breakpoint(again));
    next->vm.resume();
    const std::optional<EventSet> hit = next->nextEvent(FailureBound);
    ASSERT_TRUE(hit.has_value());
    ASSERT_EQ(hit->events.size(), 1u);
    EXPECT_EQ(requestIdOf(hit->events[0]), request);
    EXPECT_EQ(next->thread.name(*threadOf(hit->events[0])), "main");
}

TEST_F(JvmEnd, AVmKilledWhileSuspendedFailsTheNextCall) {
    startStepper();
    jvm_->process().kill();
    EXPECT_THROW(vm_->thread.frameCount(main_), DisconnectedError);
    EXPECT_THROW(vm_->vm.resume(), DisconnectedError);
    EXPECT_TRUE(std::holds_alternative<VmDisconnectedEvent>(nextEventSet().events.at(0)));
}

TEST_F(JvmEnd, AnInvokeThatOutlastsItsTimeoutLeavesTheConnectionUsable) {
    startStepper();
    const LocatedEvent hit = runToLine("walk-array");
    const Value self = vm_->stackFrame.thisObject(hit.thread, topFrame(hit.thread).frameId);
    const Value tenMinutes{Tag::Long, 600'000};
    EXPECT_THROW(vm_->object.invokeMethod(self.objectId(), hit.thread, stepper_,
                                          method("nap").methodId, std::span(&tenMinutes, 1), 0,
                                          Timeout(100)),
                 TimeoutError);
    EXPECT_EQ(vm_->vm.version().vmName, vm_->versionInfo().vmName);
    EXPECT_EQ(vm_->thread.name(hit.thread), "main");
    EXPECT_FALSE(vm_->thread.status(hit.thread).suspended()); // it runs the invoked method
}

TEST_F(JvmEnd, AVmKilledDuringAnInvokeFailsTheInvoke) {
    startStepper();
    const LocatedEvent hit = runToLine("walk-array");
    const Value self = vm_->stackFrame.thisObject(hit.thread, topFrame(hit.thread).frameId);
    const Value tenMinutes{Tag::Long, 600'000};

    // The invoked method says when it has started to sleep; then the VM dies under it.
    std::thread killer([this] {
        if (jvm_->process().waitForOutput(
                [](std::string_view out) { return out.find("napping") != out.npos; }, FailureBound))
            jvm_->process().kill();
    });
    EXPECT_THROW(vm_->object.invokeMethod(self.objectId(), hit.thread, stepper_,
                                          method("nap").methodId, std::span(&tenMinutes, 1), 0,
                                          FailureBound),
                 DisconnectedError);
    killer.join();
    EXPECT_EQ(jvm_->process().waitForExit(FailureBound), 128 + SIGKILL);
}

// A listener on 127.0.0.1 at a port the system chose, standing for peers that are no JDWP
// agent. Connections complete in the kernel's backlog whether it accepts them or not.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot bind a loopback socket");
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() {
        if (answerer_.joinable())
            answerer_.join();
        if (accepted_ >= 0)
            ::close(accepted_);
        ::close(fd_);
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int port() const { return port_; }
    void listen() {
        if (::listen(fd_, 4) != 0)
            throw std::runtime_error("cannot listen");
    }
    // Accepts one connection, writes the answer to it and keeps it open.
    void answerWith(std::string answer) {
        listen();
        answerer_ = std::thread([this, answer = std::move(answer)] {
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(FailureBound.count())) != 1)
                return;
            accepted_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted_ >= 0)
                static_cast<void>(::send(accepted_, answer.data(), answer.size(), MSG_NOSIGNAL));
        });
    }

private:
    int fd_ = -1;
    int port_ = 0;
    int accepted_ = -1;
    std::thread answerer_;
};

TEST(AttachFailures, APortWithoutListenerIsDisconnectedNamingThePeer) {
    Listener bound; // bound, so no one else takes the port, but not listening: refused
    try {
        Debuggee::attach("127.0.0.1", bound.port());
        FAIL() << "attached to nothing";
    } catch (const DisconnectedError& e) {
        EXPECT_THAT(e.what(), HasSubstr("127.0.0.1:" + std::to_string(bound.port())));
        EXPECT_THAT(e.what(), HasSubstr("refused"));
    }
}

TEST(AttachFailures, AServerThatAnswersSomethingElseIsAProtocolError) {
    Listener http;
    http.answerWith("HTTP/1.1 400 Bad Request\r\n\r\n");
    EXPECT_THROW(Debuggee::attach("127.0.0.1", http.port(),
                                  {.connectTimeout = FailureBound, .commandTimeout = FailureBound}),
                 ProtocolError);
}

TEST(AttachFailures, AServerThatNeverAnswersTimesOut) {
    Listener silent;
    silent.listen();
    const AttachOptions options{.connectTimeout = Timeout(200), .commandTimeout = Timeout(200)};
    EXPECT_THROW(Debuggee::attach("127.0.0.1", silent.port(), options), TimeoutError);
}

} // namespace
