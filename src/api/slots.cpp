#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/library_state.h"
#include "api/output.h"
#include "api/session_record.h"
#include "api/slot_refresh.h"
#include "api/text_fields.h"
#include "crypto/byte_order.h"
#include "device/device_connection.h"
#include "objects/free_storage.h"
#include "platform/clock.h"

#include <cstdio>
#include <ctime>

namespace vlrp11 {
namespace {

// The texts that name a device depend only on its kind.
struct KindTexts {
    const char* description;  // slot description and token label
    const char* manufacturer;
    const char* model;        // tokens show their model number instead
};

const KindTexts& texts_of(const DeviceConnection& connection)
{
    static constexpr KindTexts token = {"VELLARO token", "KESTRELWORKSHOP LLC", nullptr};
    static constexpr KindTexts pcsc_hsm = {"MORVA mini HSM", "RVN LLC", "MORVA mini HSM"};
    static constexpr KindTexts network_hsm = {"MORVA HSM", "RVN LLC", "MORVA HSM"};
    if (connection.kind == DEVICE_TOKEN)
        return token;
    return connection.kind == DEVICE_PCSC_HSM ? pcsc_hsm : network_hsm;
}

constexpr unsigned max_sessions = SESSIONS_PER_SLOT;
constexpr CK_ULONG max_pin_length = 64;
constexpr CK_ULONG min_pin_length = 4;
constexpr std::uint8_t pin_limit_without_counters = 255;
constexpr std::uint32_t first_clock_model = 9000;
constexpr std::uint32_t atr_with_minor_digit = 20;
constexpr unsigned atr_minor_digit_byte = 11;
constexpr std::uint32_t slot_event_poll_ms = 10;

// A text of at most 16 characters: formatted into a scratch buffer, cut to the field. The token
// model "VELLARO " and a model number above 8 digits is the only text that gets cut.
template <typename... Args>
void format_field(unsigned char (&field)[16], const char* format, Args... args)
{
    char text[32];
    int length = std::snprintf(text, sizeof text, format, args...);
    copy_padded(field, std::string_view(text, length > 0 ? static_cast<std::size_t>(length) : 0));
}

// The serial number, and for the HSMs the partition after a colon. A pair whose decimal text
// would pass 16 characters is shown as 16 hex digits (serial, then partition): still one text
// per (serial, partition), and never one of the shorter decimal texts.
void format_serial(unsigned char (&field)[16], const DeviceConnection& connection)
{
    std::uint32_t serial = load_le32(connection.device_info + DEVICE_INFO_SERIAL);
    auto partition = static_cast<std::uint32_t>(connection.instance);
    if (connection.kind == DEVICE_TOKEN) {
        format_field(field, "%u", serial);
        return;
    }
    char text[32];
    int length = std::snprintf(text, sizeof text, "%u:%u", serial, partition);
    if (length <= static_cast<int>(sizeof field))
        copy_padded(field, std::string_view(text, static_cast<std::size_t>(length)));
    else
        format_field(field, "%08X%08X", serial, partition);
}

CK_FLAGS token_flags(const std::uint8_t* info)
{
    CK_FLAGS flags = CKF_RNG | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED;
    std::uint8_t limit = info[DEVICE_INFO_PIN_LIMIT];
    std::uint8_t failures = info[DEVICE_INFO_PIN_FAILURES];
    if (limit == pin_limit_without_counters)
        return flags;
    if (failures != 0 && failures != limit)
        flags |= CKF_USER_PIN_COUNT_LOW;
    if (failures == limit - 1)
        flags |= CKF_USER_PIN_FINAL_TRY;
    if (failures == limit)
        flags |= CKF_USER_PIN_LOCKED;
    return flags;
}

// Devices from model 9000 on keep time: the current UTC time as YYYYMMDDhhmmss00.
void format_utc_time(unsigned char (&field)[16], std::uint32_t model)
{
    std::tm now{};
    if (model < first_clock_model || !utc_now(now)) {
        copy_padded(field, "");
        return;
    }
    char text[32];
    std::size_t length = std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &now);
    copy_padded(field, std::string_view(text, length));
    field[14] = '0';
    field[15] = '0';
}

void count_sessions(const SlotRecord& slot, CK_TOKEN_INFO& info)
{
    info.ulSessionCount = 0;
    info.ulRwSessionCount = 0;
    for (const SessionRecord* session : slot.sessions) {
        if (session == nullptr)
            continue;
        ++info.ulSessionCount;
        if (session->flags & CKF_RW_SESSION)
            ++info.ulRwSessionCount;
    }
}

// Clears the slot's event and names it, when it has one.
bool take_slot_event(unsigned slotIndex, CK_SLOT_ID& slotId)
{
    SlotRecord& slot = library_state().slots[slotIndex];
    if (slot.connection == nullptr || slot.eventPending != 1)
        return false;
    slot.eventPending = 0;
    slotId = slotIndex + 1;
    return true;
}

CK_RV poll_slot_event(CK_SLOT_ID& slotId)
{
    refresh_slots();
    for (unsigned i = 0; i < SLOT_COUNT; ++i) {
        if (take_slot_event(i, slotId))
            return CKR_OK;
    }
    return CKR_NO_EVENT;
}

CK_RV wait_slot_event(LibraryLock& lock, CK_SLOT_ID& slotId)
{
    const LibraryState& library = library_state();
    const std::uint32_t finalisations = library.finalisations;
    for (unsigned i = 0;; i = (i + 1) % SLOT_COUNT) {
        refresh_slots();
        if (take_slot_event(i, slotId))
            return CKR_OK;
        lock.sleep_unlocked(slot_event_poll_ms);
        if (!library.initialised || library.finalisations != finalisations)
            return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
}

}  // namespace

CK_RV C_GetSlotList(CK_BBOOL, CK_SLOT_ID_PTR pSlotList, CK_ULONG_PTR pulCount)
{
    LibraryLock lock;
    LibraryState& library = library_state();
    if (!library.initialised)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (pulCount == nullptr)
        return CKR_ARGUMENTS_BAD;
    // The length query looks for devices, so that the list that follows it matches the count.
    // So does the first call after C_Initialize whatever it asks: callers that pass a list at
    // once would otherwise never see a device.
    if (pSlotList == nullptr || !library.slotsRefreshed)
        refresh_slots();
    CK_SLOT_ID occupied[SLOT_COUNT];
    CK_ULONG count = 0;
    for (unsigned i = 0; i < SLOT_COUNT; ++i) {
        if (library.slots[i].connection != nullptr)
            occupied[count++] = i + 1;
    }
    return copy_list_out(occupied, count, pSlotList, pulCount);
}

CK_RV C_GetSlotInfo(CK_SLOT_ID slotID, CK_SLOT_INFO_PTR pInfo)
{
    LibraryLock lock;
    SlotRecord* slot = nullptr;
    if (CK_RV rv = resolveSlotId(slotID, slot); rv != CKR_OK)
        return rv;
    if (pInfo == nullptr)
        return CKR_ARGUMENTS_BAD;
    const KindTexts& texts = texts_of(*slot->connection);
    copy_padded(pInfo->slotDescription, texts.description);
    copy_padded(pInfo->manufacturerID, texts.manufacturer);
    pInfo->flags = CKF_TOKEN_PRESENT | CKF_REMOVABLE_DEVICE | CKF_HW_SLOT;
    pInfo->hardwareVersion = {1, 0};
    pInfo->firmwareVersion = {1, 0};
    return CKR_OK;
}

// Never fails because of the device: a directory listing that fails shows as no free memory.
CK_RV C_GetTokenInfo(CK_SLOT_ID slotID, CK_TOKEN_INFO_PTR pInfo)
{
    LibraryLock lock;
    SlotRecord* slot = nullptr;
    if (CK_RV rv = resolveSlotId(slotID, slot); rv != CKR_OK)
        return rv;
    if (pInfo == nullptr)
        return CKR_ARGUMENTS_BAD;
    DeviceConnection& connection = *slot->connection;
    const std::uint8_t* info = connection.device_info;
    std::uint32_t model = load_le32(info + DEVICE_INFO_MODEL);
    const KindTexts& texts = texts_of(connection);
    copy_padded(pInfo->label, texts.description);
    copy_padded(pInfo->manufacturerID, texts.manufacturer);
    if (connection.kind == DEVICE_TOKEN)
        format_field(pInfo->model, "VELLARO %u", model);
    else
        copy_padded(pInfo->model, texts.model);
    format_serial(pInfo->serialNumber, connection);
    pInfo->flags = token_flags(info);
    CK_ULONG free_memory = free_storage_bytes(connection);
    count_sessions(*slot, *pInfo);
    pInfo->ulMaxSessionCount = max_sessions;
    pInfo->ulMaxRwSessionCount = max_sessions;
    pInfo->ulMaxPinLen = max_pin_length;
    pInfo->ulMinPinLen = min_pin_length;
    pInfo->ulTotalPublicMemory = pInfo->ulTotalPrivateMemory = CK_ULONG{info[DEVICE_INFO_BLOCKS]} * STORAGE_ENTRY_BYTES;
    pInfo->ulFreePublicMemory = pInfo->ulFreePrivateMemory = free_memory;
    pInfo->hardwareVersion = {1, 0};
    CK_BYTE minor = 0;
    if (connection.atr_length == atr_with_minor_digit)
        minor = static_cast<CK_BYTE>(connection.atr[atr_minor_digit_byte] - '0');
    pInfo->firmwareVersion = {info[DEVICE_INFO_VERSION], minor};
    format_utc_time(pInfo->utcTime, model);
    return CKR_OK;
}

// Reports each slot a refresh has filled once. Blocking, it walks the slots without end,
// refreshing before each and sleeping 10 ms after each without an event; the library lock is
// released for every sleep, so other threads carry on, and a C_Finalize meanwhile (even one
// followed by a new C_Initialize) ends the wait with CKR_CRYPTOKI_NOT_INITIALIZED.
CK_RV C_WaitForSlotEvent(CK_FLAGS flags, CK_SLOT_ID_PTR pSlot, CK_VOID_PTR)
{
    LibraryLock lock;
    if (!library_state().initialised)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (pSlot == nullptr)
        return CKR_ARGUMENTS_BAD;
    return (flags & CKF_DONT_BLOCK) ? poll_slot_event(*pSlot) : wait_slot_event(lock, *pSlot);
}

}  // namespace vlrp11
