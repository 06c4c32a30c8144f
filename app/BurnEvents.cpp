#include "BurnEvents.h"

const char* StatusKindName(StatusKind kind) {
    switch (kind) {
    case StatusKind::ReplaceAll:
        return "replace_all";
    case StatusKind::ReplaceLast:
        return "replace_last";
    case StatusKind::Append:
        return "append";
    case StatusKind::None:
        break;
    }
    return "none";
}

const char* StageName(BurnStage stage) {
    switch (stage) {
    case BurnStage::Download:
        return "download";
    case BurnStage::Layout:
        return "layout";
    case BurnStage::Block:
        return "block";
    case BurnStage::Items:
        return "items";
    case BurnStage::Verify:
        return "verify";
    }
    return "";
}

const char* ReasonName(FailReason reason) {
    switch (reason) {
    case FailReason::Refused:
        return "refused";
    case FailReason::PortOpen:
        return "port_open";
    case FailReason::PortLost:
        return "port_lost";
    case FailReason::Timeout:
        return "timeout";
    case FailReason::Download:
        return "download";
    case FailReason::Layout:
        return "layout";
    case FailReason::Write:
        return "write";
    case FailReason::Verify:
        return "verify";
    case FailReason::Record:
        return "record";
    case FailReason::Stopped:
        return "stopped";
    }
    return "";
}
