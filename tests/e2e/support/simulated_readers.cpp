#include "support/simulated_readers.h"

#include "platform/pcsc.h"

#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace vlrp11::testing {
namespace {

constexpr PcscResult no_smartcard = 0x8010000C;
constexpr PcscResult removed_card = 0x80100069;
constexpr PcscResult invalid_handle = 0x80100003;
constexpr PcscResult unknown_reader = 0x80100009;

struct Reader {
    std::string name;
    sim::Device* device;
    unsigned insertion;  // counts insertions, so handles to an earlier card go stale
    sim::TransportFaults* faults;
};

struct Handle {
    std::size_t reader;
    unsigned insertion;
    unsigned service;
};

struct Service {
    std::mutex mutex;
    std::vector<Reader> readers;
    unsigned generation = 1;  // a context or handle of an earlier generation meets "no service"
    std::map<PcscContext, unsigned> contexts;
    std::map<PcscCard, Handle> handles;
    PcscContext nextContext = 1;
    PcscCard nextCard = 1;
    unsigned connects = 0;
    std::vector<std::uint8_t> traffic;  // every command and response APDU, in order
};

Service* service = nullptr;

// The reader's card behind a handle, or the PC/SC result that says why there is none.
PcscResult card_of(PcscCard card, sim::Device*& device)
{
    auto found = service->handles.find(card);
    if (found == service->handles.end())
        return invalid_handle;
    const Handle& handle = found->second;
    if (handle.service != service->generation)
        return PCSC_E_NO_SERVICE;
    const Reader& reader = service->readers[handle.reader];
    if (reader.device == nullptr || reader.insertion != handle.insertion)
        return removed_card;
    device = reader.device;
    return PCSC_SUCCESS;
}

PcscResult context_state(PcscContext context)
{
    auto found = service->contexts.find(context);
    if (found == service->contexts.end())
        return invalid_handle;
    return found->second == service->generation ? PCSC_SUCCESS : PCSC_E_NO_SERVICE;
}

PcscResult establish(std::uint32_t, PcscContext* context)
{
    std::lock_guard lock(service->mutex);
    *context = service->nextContext++;
    service->contexts[*context] = service->generation;
    return PCSC_SUCCESS;
}

// As pcsc-lite does: the check is made in the client and never notices a restarted service.
PcscResult is_valid(PcscContext context)
{
    std::lock_guard lock(service->mutex);
    return service->contexts.count(context) ? PCSC_SUCCESS : invalid_handle;
}

PcscResult release(PcscContext context)
{
    std::lock_guard lock(service->mutex);
    PcscResult result = context_state(context);
    service->contexts.erase(context);
    return result;
}

PcscResult list_readers(PcscContext context, const char*, char* readers, std::uint32_t* length)
{
    std::lock_guard lock(service->mutex);
    if (PcscResult result = context_state(context); result != PCSC_SUCCESS)
        return result;
    std::string names;
    for (const Reader& reader : service->readers)
        names.append(reader.name).push_back('\0');
    names.push_back('\0');
    auto needed = static_cast<std::uint32_t>(names.size());
    if (readers != nullptr && *length < needed) {
        *length = needed;
        return PCSC_E_INSUFFICIENT_BUFFER;
    }
    *length = needed;
    if (readers != nullptr)
        std::memcpy(readers, names.data(), names.size());
    return PCSC_SUCCESS;
}

PcscResult connect(PcscContext context, const char* name, std::uint32_t, std::uint32_t, PcscCard* card,
                   std::uint32_t* protocol)
{
    std::lock_guard lock(service->mutex);
    ++service->connects;
    if (PcscResult result = context_state(context); result != PCSC_SUCCESS)
        return result;
    for (std::size_t i = 0; i < service->readers.size(); ++i) {
        const Reader& reader = service->readers[i];
        if (reader.name != name)
            continue;
        if (reader.device == nullptr)
            return no_smartcard;
        *card = service->nextCard++;
        service->handles[*card] = Handle{i, reader.insertion, service->generation};
        *protocol = PCSC_PROTOCOL_T1;
        return PCSC_SUCCESS;
    }
    return unknown_reader;
}

PcscResult status(PcscCard card, char*, std::uint32_t*, std::uint32_t*, std::uint32_t*, std::uint8_t*, std::uint32_t*)
{
    std::lock_guard lock(service->mutex);
    sim::Device* device = nullptr;
    return card_of(card, device);
}

PcscResult get_attrib(PcscCard card, std::uint32_t attribute, std::uint8_t* value, std::uint32_t* length)
{
    std::lock_guard lock(service->mutex);
    sim::Device* device = nullptr;
    if (PcscResult result = card_of(card, device); result != PCSC_SUCCESS)
        return result;
    std::vector<std::uint8_t> atr = device->atr();
    if (attribute != PCSC_ATTR_ATR_STRING || atr.size() > *length)
        return PCSC_E_INSUFFICIENT_BUFFER;
    std::memcpy(value, atr.data(), atr.size());
    *length = static_cast<std::uint32_t>(atr.size());
    return PCSC_SUCCESS;
}

PcscResult transmit(PcscCard card, const std::uint8_t* command, std::uint32_t command_length,
                    std::uint8_t* response, std::uint32_t* response_length)
{
    sim::Device* device = nullptr;
    std::size_t reader = 0;
    sim::TransportFaults* faults = nullptr;
    {
        std::lock_guard lock(service->mutex);
        if (PcscResult result = card_of(card, device); result != PCSC_SUCCESS)
            return result;
        reader = service->handles[card].reader;
        faults = service->readers[reader].faults;
        service->traffic.insert(service->traffic.end(), command, command + command_length);
    }
    std::vector<std::uint8_t> answer = device->transmit({command, command_length});
    const sim::ReplyPlan plan = faults ? faults->next_reply() : sim::ReplyPlan{};
    std::this_thread::sleep_for(std::chrono::milliseconds(plan.latency_ms));
    sim::apply_truncation(answer, plan);
    {
        std::lock_guard lock(service->mutex);
        if (plan.drop) {
            ++service->readers[reader].insertion;
            return removed_card;
        }
        service->traffic.insert(service->traffic.end(), answer.begin(), answer.end());
    }
    if (answer.size() > *response_length)
        return PCSC_E_INSUFFICIENT_BUFFER;
    std::memcpy(response, answer.data(), answer.size());
    *response_length = static_cast<std::uint32_t>(answer.size());
    return PCSC_SUCCESS;
}

PcscResult disconnect(PcscCard card, std::uint32_t)
{
    std::lock_guard lock(service->mutex);
    auto found = service->handles.find(card);
    if (found == service->handles.end())
        return invalid_handle;
    PcscResult result = found->second.service == service->generation ? PCSC_SUCCESS : PCSC_E_NO_SERVICE;
    service->handles.erase(found);
    return result;
}

const PcscFunctions functions = {establish, is_valid, release, list_readers, connect,
                                 status,    get_attrib, transmit, disconnect};

}  // namespace

SimulatedReaders::SimulatedReaders()
{
    service = new Service;
    bind_pcsc(&functions);
}

SimulatedReaders::~SimulatedReaders()
{
    bind_pcsc(nullptr);
    delete service;
    service = nullptr;
}

std::size_t SimulatedReaders::add_reader(const std::string& name, sim::Device* device, sim::TransportFaults* faults)
{
    std::lock_guard lock(service->mutex);
    service->readers.push_back(Reader{name, device, 1, faults});
    return service->readers.size() - 1;
}

void SimulatedReaders::insert(std::size_t reader, sim::Device* device)
{
    std::lock_guard lock(service->mutex);
    service->readers[reader].device = device;
    ++service->readers[reader].insertion;
}

void SimulatedReaders::restart_service()
{
    std::lock_guard lock(service->mutex);
    ++service->generation;
}

unsigned SimulatedReaders::connects() const
{
    std::lock_guard lock(service->mutex);
    return service->connects;
}

std::vector<std::uint8_t> SimulatedReaders::traffic() const
{
    std::lock_guard lock(service->mutex);
    return service->traffic;
}

}  // namespace vlrp11::testing
