#pragma once

// The commands' places in the protocol and the layouts of their replies, shared by the
// blocking command sets (commands.cpp) and the pipeline (pipeline.cpp).

#include "jdwp/commands.h"
#include "jdwp/connection.h"
#include "jdwp/wire.h"

#include <vector>

namespace jdwp::layout {

namespace cmd {
constexpr Command Version{1, 1, "VirtualMachine.Version"};
constexpr Command ClassesBySignature{1, 2, "VirtualMachine.ClassesBySignature"};
constexpr Command AllClasses{1, 3, "VirtualMachine.AllClasses"};
constexpr Command Dispose{1, 6, "VirtualMachine.Dispose"};
constexpr Command IDSizes{1, 7, "VirtualMachine.IDSizes"};
constexpr Command Suspend{1, 8, "VirtualMachine.Suspend"};
constexpr Command Resume{1, 9, "VirtualMachine.Resume"};
constexpr Command CreateString{1, 11, "VirtualMachine.CreateString"};
constexpr Command CapabilitiesNew{1, 17, "VirtualMachine.CapabilitiesNew"};
constexpr Command SetDefaultStratum{1, 19, "VirtualMachine.SetDefaultStratum"};
constexpr Command Signature{2, 1, "ReferenceType.Signature"};
constexpr Command Fields{2, 4, "ReferenceType.Fields"};
constexpr Command Methods{2, 5, "ReferenceType.Methods"};
constexpr Command StaticValues{2, 6, "ReferenceType.GetValues"};
constexpr Command SourceDebugExtension{2, 12, "ReferenceType.SourceDebugExtension"};
constexpr Command Superclass{3, 1, "ClassType.Superclass"};
constexpr Command LineTable{6, 1, "Method.LineTable"};
constexpr Command VariableTable{6, 2, "Method.VariableTable"};
constexpr Command ObjectType{9, 1, "ObjectReference.ReferenceType"};
constexpr Command ObjectValues{9, 2, "ObjectReference.GetValues"};
constexpr Command InvokeMethod{9, 6, "ObjectReference.InvokeMethod"};
constexpr Command StringValue{10, 1, "StringReference.Value"};
constexpr Command ThreadName{11, 1, "ThreadReference.Name"};
constexpr Command ThreadResume{11, 3, "ThreadReference.Resume"};
constexpr Command ThreadStatus{11, 4, "ThreadReference.Status"};
constexpr Command Frames{11, 6, "ThreadReference.Frames"};
constexpr Command FrameCount{11, 7, "ThreadReference.FrameCount"};
constexpr Command ArrayLength{13, 1, "ArrayReference.Length"};
constexpr Command ArrayValues{13, 2, "ArrayReference.GetValues"};
constexpr Command EventRequestSet{15, 1, "EventRequest.Set"};
constexpr Command EventRequestClear{15, 2, "EventRequest.Clear"};
constexpr Command ClearAllBreakpoints{15, 3, "EventRequest.ClearAllBreakpoints"};
constexpr Command FrameValues{16, 1, "StackFrame.GetValues"};
constexpr Command ThisObject{16, 3, "StackFrame.ThisObject"};
} // namespace cmd

// Each reader takes the whole reply data of its command; ProtocolError when it does not fit.
std::vector<Value> readTaggedValues(PacketReader& in);
std::vector<FieldInfo> readFields(PacketReader& in);
VariableTable readVariableTable(PacketReader& in);
std::vector<Frame> readFrames(PacketReader& in);
std::pair<TypeTag, ReferenceTypeId> readObjectType(PacketReader& in);
// An array region: one tag, then the values, untagged for primitives.
std::vector<Value> readArrayRegion(PacketReader& in);

} // namespace jdwp::layout
