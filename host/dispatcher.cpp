#include "host/dispatcher.h"

#include <exception>
#include <string>

#include "host/handle_table_ref.h"
#include "host/host_abort.h"
#include "host/library_hooks.h"
#include "host/slot_table_ref.h"
#include "host/thread_context.h"

namespace mg::host {
namespace {

template <class Fn>
Fn RoutineOf(const abi::HostRequest& request) {
    return reinterpret_cast<Fn>(request.routine);
}

void AnswerQuery(abi::HostRequest& request) {
    request.argument1 = static_cast<abi::Word>(abi::kInterfaceVersion);
    request.argument0 = reinterpret_cast<abi::Word>(LibraryFunctionTable());
}

// The host learns of a library error as error 1098 with the message text; the
// text lives until the callback returns, which is all the host may rely on.
void ReportLibraryError(ThreadContext& context, const std::string& message) {
    if (context.callback == nullptr) return;
    abi::HostRequest report{};
    report.argument0 = static_cast<abi::Word>(abi::kErrorLibraryMessage);
    report.argument1 = reinterpret_cast<abi::Word>(message.c_str());
    report.libraryCode = abi::kRaiseError;
    report.hostCode = 0;
    context.callback(&report);
}

void Serve(ThreadContext& context, abi::HostRequest& request) {
    HandleTableRef handles(context.handles);
    SlotTableRef slots(context.slots);
    switch (request.hostCode) {
        case abi::kRegister:
            context.callback = RoutineOf<abi::HostCallback>(request);
            context.handles = reinterpret_cast<abi::HandleTable*>(request.argument0);
            context.slots = reinterpret_cast<abi::SlotTable*>(request.argument1);
            AnswerQuery(request);
            break;
        case abi::kQuery:
            AnswerQuery(request);
            break;
        case abi::kRunRoutine:
            if (request.routine != 0) {
                RoutineOf<abi::Routine>(request)(reinterpret_cast<abi::ParamBlock*>(request.inlineBlock));
            }
            break;
        case abi::kCallRoutine2:
            if (request.routine != 0) RoutineOf<abi::Routine2>(request)(request.argument0, request.argument1);
            break;
        case abi::kCallRoutineBlock:
            if (request.routine != 0) {
                const std::int32_t result =
                    RoutineOf<abi::RoutineBlock>(request)(request.argument0, request.inlineBlock);
                request.argument0 = static_cast<abi::Word>(static_cast<std::uint32_t>(result));
            }
            break;
        case abi::kAllocate:
            request.argument0 = handles.Allocate(request.argument0, static_cast<std::uint16_t>(request.argument1));
            break;
        case abi::kFree:
            handles.Free(static_cast<abi::MemHandle>(request.argument0));
            break;
        case abi::kAddress:
            request.argument0 = reinterpret_cast<abi::Word>(handles.Address(static_cast<abi::MemHandle>(request.argument0)));
            break;
        case abi::kSlotRegister:
            request.argument0 = slots.Register(request.argument0);
            break;
        case abi::kSlotRelease:
            slots.Release(request.argument0);
            break;
        case abi::kSlotLookup:
            request.argument0 = slots.Lookup(request.argument0);
            break;
        default:
            break;
    }
}

}  // namespace

std::int32_t Dispatch(abi::HostRequest* request) {
    ThreadContext* context = ContextRegistry::ForThisThread();
    if (context == nullptr || request == nullptr) return 0;
    try {
        Serve(*context, *request);
    } catch (const HostAbort&) {
        // The host abandoned the routine; its own objects were released on the way here.
    } catch (const std::exception& error) {
        try {
            ReportLibraryError(*context, error.what());
        } catch (...) {
        }
    } catch (...) {
    }
    return 0;
}

}  // namespace mg::host
