#ifndef MG_HOSTSIM_HOST_H
#define MG_HOSTSIM_HOST_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hostsim/module.h"
#include "hostsim/value.h"
#include "marrowgate/host_abi.h"

namespace mg::hostsim {

// What a call of an exposed function gave back.
struct CallResult {
    Value value;             // Kind::None when the function returned nothing
    std::int32_t error = 0;  // host error number, 0 when none
    std::string message;     // the library's text with error 1098

    bool ok() const { return error == 0; }
};

// One row of the library's function table.
struct FunctionRow {
    std::string name;
    std::int16_t parameterCount = 0;
    std::string typeString;
    abi::Word routine = 0;
};

// A substitute for the real host: loads the library, owns the handle and slot
// tables, registers its callback on the thread that creates it and calls the
// exposed functions exactly as the real host does. One Host serves one thread;
// a program with several host threads makes one Host on each.
class Host {
public:
    // Errors the host itself reports (argument checks, unknown functions).
    static constexpr std::int32_t kErrorArguments = 11;
    static constexpr std::int32_t kErrorNoFunction = 1;
    static constexpr std::int32_t kErrorNoEvaluator = 10;

    explicit Host(const std::string& modulePath = Module::DefaultPath(), std::uint16_t handleCapacity = 1024,
                  std::uint16_t slotCapacity = 64);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Runs an exposed function with typed arguments, checked against its type string.
    CallResult Call(const std::string& name, const std::vector<Value>& args = {});
    // Runs a routine with values already laid out, no checks (for protocol tests).
    CallResult CallRoutine(abi::Word routine, const std::vector<abi::HostValue>& values);

    // Sends one raw request through DispatchAPI and returns it as answered.
    abi::HostRequest Request(std::int32_t code, abi::Word argument0 = 0, abi::Word argument1 = 0,
                             abi::Word routine = 0);
    void Register();  // request 0 on the calling thread

    // Answers expression requests (55): 0 and a filled value, or an error number.
    using Evaluator = std::function<std::int32_t(const std::string& expression, Value& result)>;
    void SetEvaluator(Evaluator evaluator) { m_evaluator = std::move(evaluator); }
    // Sees every library-to-host request first; setting its code to 84 makes
    // the host abort the running routine instead of serving the request.
    using Observer = std::function<void(abi::HostRequest& request)>;
    void SetObserver(Observer observer) { m_observer = std::move(observer); }

    // Handles, through the library's own handle requests.
    abi::MemHandle NewHandle(const std::string& bytes, std::uint16_t tag = 1);
    std::string ReadHandle(abi::MemHandle handle, std::size_t length);
    void FreeHandle(abi::MemHandle handle);
    std::size_t OccupiedHandles() const;

    const std::vector<FunctionRow>& Rows() const { return m_rows; }
    const FunctionRow* Find(const std::string& name) const;
    abi::HandleTable* Handles() { return reinterpret_cast<abi::HandleTable*>(m_handleStorage.data()); }
    abi::SlotTable* Slots() { return reinterpret_cast<abi::SlotTable*>(m_slotStorage.data()); }
    abi::DispatchFn Dispatch() const { return m_module->Dispatch(); }
    // Expressions the library asked the host to evaluate, in order.
    const std::vector<std::string>& Expressions() const { return m_expressions; }
    void ClearExpressions() { m_expressions.clear(); }

private:
    static void MG_FASTCALL Callback(abi::HostRequest* request);
    void Serve(abi::HostRequest& request);
    void ReadTable(const abi::FunctionTable* table);
    Value FromHostValue(const abi::HostValue& value);
    bool ToHostValue(const Value& value, abi::HostValue& out);

    std::unique_ptr<Module> m_module;
    std::vector<unsigned char> m_handleStorage;
    std::vector<unsigned char> m_slotStorage;
    std::vector<FunctionRow> m_rows;
    Evaluator m_evaluator;
    Observer m_observer;
    CallResult m_pending;
    std::vector<std::string> m_expressions;
};

}  // namespace mg::hostsim

#endif
