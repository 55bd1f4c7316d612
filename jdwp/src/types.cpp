#include "jdwp/types.h"

#include <bit>

namespace jdwp {

bool isKnownTag(std::uint8_t byte) {
    switch (byte) {
    case '[': case 'B': case 'C': case 'L': case 'F': case 'D': case 'I': case 'J':
    case 'S': case 'V': case 'Z': case 's': case 't': case 'g': case 'l': case 'c':
        return true;
    default:
        return false;
    }
}

bool isObjectTag(Tag tag) {
    switch (tag) {
    case Tag::Array: case Tag::Object: case Tag::String: case Tag::Thread:
    case Tag::ThreadGroup: case Tag::ClassLoader: case Tag::ClassObject:
        return true;
    default:
        return false;
    }
}

int valueSize(Tag tag, const IdSizes& sizes) {
    switch (tag) {
    case Tag::Byte: case Tag::Boolean:
        return 1;
    case Tag::Char: case Tag::Short:
        return 2;
    case Tag::Int: case Tag::Float:
        return 4;
    case Tag::Long: case Tag::Double:
        return 8;
    case Tag::Void:
        return 0;
    default:
        return sizes.objectId;
    }
}

float Value::asFloat() const {
    return std::bit_cast<float>(static_cast<std::uint32_t>(bits));
}

double Value::asDouble() const {
    return std::bit_cast<double>(bits);
}

std::string errorName(std::uint16_t code) {
    switch (code) {
    case 0: return "NONE";
    case 10: return "INVALID_THREAD";
    case 11: return "INVALID_THREAD_GROUP";
    case 12: return "INVALID_PRIORITY";
    case 13: return "THREAD_NOT_SUSPENDED";
    case 14: return "THREAD_SUSPENDED";
    case 15: return "THREAD_NOT_ALIVE";
    case 20: return "INVALID_OBJECT";
    case 21: return "INVALID_CLASS";
    case 22: return "CLASS_NOT_PREPARED";
    case 23: return "INVALID_METHODID";
    case 24: return "INVALID_LOCATION";
    case 25: return "INVALID_FIELDID";
    case 30: return "INVALID_FRAMEID";
    case 31: return "NO_MORE_FRAMES";
    case 32: return "OPAQUE_FRAME";
    case 33: return "NOT_CURRENT_FRAME";
    case 34: return "TYPE_MISMATCH";
    case 35: return "INVALID_SLOT";
    case 40: return "DUPLICATE";
    case 41: return "NOT_FOUND";
    case 50: return "INVALID_MONITOR";
    case 51: return "NOT_MONITOR_OWNER";
    case 52: return "INTERRUPT";
    case 60: return "INVALID_CLASS_FORMAT";
    case 61: return "CIRCULAR_CLASS_DEFINITION";
    case 62: return "FAILS_VERIFICATION";
    case 63: return "ADD_METHOD_NOT_IMPLEMENTED";
    case 64: return "SCHEMA_CHANGE_NOT_IMPLEMENTED";
    case 65: return "INVALID_TYPESTATE";
    case 66: return "HIERARCHY_CHANGE_NOT_IMPLEMENTED";
    case 67: return "DELETE_METHOD_NOT_IMPLEMENTED";
    case 68: return "UNSUPPORTED_VERSION";
    case 69: return "NAMES_DONT_MATCH";
    case 70: return "CLASS_MODIFIERS_CHANGE_NOT_IMPLEMENTED";
    case 71: return "METHOD_MODIFIERS_CHANGE_NOT_IMPLEMENTED";
    case 99: return "NOT_IMPLEMENTED";
    case 100: return "NULL_POINTER";
    case 101: return "ABSENT_INFORMATION";
    case 102: return "INVALID_EVENT_TYPE";
    case 103: return "ILLEGAL_ARGUMENT";
    case 110: return "OUT_OF_MEMORY";
    case 111: return "ACCESS_DENIED";
    case 112: return "VM_DEAD";
    case 113: return "INTERNAL";
    case 115: return "UNATTACHED_THREAD";
    case 500: return "INVALID_TAG";
    case 502: return "ALREADY_INVOKING";
    case 503: return "INVALID_INDEX";
    case 504: return "INVALID_LENGTH";
    case 506: return "INVALID_STRING";
    case 507: return "INVALID_CLASS_LOADER";
    case 508: return "INVALID_ARRAY";
    case 509: return "TRANSPORT_LOAD";
    case 510: return "TRANSPORT_INIT";
    case 511: return "NATIVE_METHOD";
    case 512: return "INVALID_COUNT";
    default: return "error " + std::to_string(code);
    }
}

} // namespace jdwp
