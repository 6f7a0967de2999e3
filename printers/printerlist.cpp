#include "printers/printerlist.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"
#include "platform/wintypes.h"

namespace {

// Shows the wait cursor for the life of the guard.
class WaitCursor {
  public:
    WaitCursor() : previous_(plat::Ui().BeginWaitCursor()) {}
    ~WaitCursor() { plat::Ui().RestoreCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    uintptr_t previous_;
};

// Driver names are equal only when every byte is; a missing name equals nothing.
bool SameDriver(const char* driver, const char* wanted) {
    return driver && wanted && std::strcmp(driver, wanted) == 0;
}

// True when driver is one of the model's two driver names.
bool OfModel(const char* driver, const char* driverName, const char* driverName2) {
    return SameDriver(driver, driverName) || SameDriver(driver, driverName2);
}

// A queue name as the spooler opens it: the case of a letter does not count, whatever the
// letter (an accented or a full-width one as well).
std::string QueueKey(const char* name) { return plat::Spooler().QueueNameKey(name); }

// The queue that opening a listed name reaches: the name itself, or for a name with the
// special-tape suffix the name without it.
std::string TargetQueueKey(const char* name) {
    std::string target(name);
    if (CQVPrinter::HasSpecialTapeSuffix(name))
        target.resize(target.find(CQVPrinter::GetSpecialTapeSuffix()));
    return QueueKey(target.c_str());
}

// The records of a filled enumeration buffer, at most `count`. The records come first and their
// names after them, so a record is read only when it ends before every name of the records
// taken before it, and is taken only when each of its names lies after the records, in the
// buffer, with its terminator: a count larger than the buffer holds ends at the last record
// instead of reading past it.
std::vector<plat::PrinterInfo2> RecordsInBuffer(plat::ISpooler& spooler, const uint8_t* buffer,
                                                uint32_t size, uint32_t count) {
    std::vector<plat::PrinterInfo2> records;
    const size_t recordSize = spooler.Info2Size();
    if (recordSize == 0) return records;
    const uintptr_t begin = reinterpret_cast<uintptr_t>(buffer), end = begin + size;
    uintptr_t namesStart = end;
    for (uint32_t i = 0; i < count; ++i) {
        if (size_t(i) + 1 > (namesStart - begin) / recordSize) break;
        const uintptr_t recordEnd = begin + (size_t(i) + 1) * recordSize;
        plat::PrinterInfo2 record = spooler.Info2At(buffer, i);
        bool whole = true;
        uintptr_t lowest = namesStart;
        for (const char* name :
             {record.pServerName, record.pPrinterName, record.pPortName, record.pDriverName}) {
            if (!name) continue;
            const uintptr_t at = reinterpret_cast<uintptr_t>(name);
            if (at < recordEnd || at >= end || !std::memchr(name, 0, end - at)) {
                whole = false;
                break;
            }
            lowest = std::min(lowest, at);
        }
        if (!whole) continue;
        namesStart = lowest;
        records.push_back(record);
    }
    return records;
}

}  // namespace

CPrinterList::CPrinterList() = default;

CPrinterList::~CPrinterList() { ReleaseAll(); }

void CPrinterList::ReleaseAll() {
    for (auto& printer : m_listPrinters) {
        printer->Release();
        printer.reset();
    }
    m_listPrinters.clear();
    m_index.clear();
    m_strCurrentName.clear();
}

void CPrinterList::ResetForTest() { ReleaseAll(); }

std::string CPrinterList::GetPrinterText(const CQVPrinter& p) {
    char text[kNameField] = {};
    if (!p.GetDisplayName(text, kNameField)) return std::string();
    return std::string(text, strnlen(text, kNameField));
}

CQVPrinter* CPrinterList::FindPrinter(const char* name) {
    auto found = m_index.find(name ? name : "");
    return found == m_index.end() ? nullptr : found->second;
}

CQVPrinter* CPrinterList::AddPrinter(const char* name, const char* driverName,
                                     const char* driverName2) {
    WaitCursor wait;
    if (CQVPrinter* existing = FindPrinter(name)) return existing;
    auto printer = std::make_unique<CQVPrinter>();
    // The queue the name opened tells its own driver: a name that reaches a queue the
    // enumeration did not show is never taken for one of the model's.
    if (!printer->Initialize(name) ||
        (driverName && !OfModel(printer->m_szDriverName, driverName, driverName2))) {
        printer->Release();
        return nullptr;
    }
    return AppendPrinter(std::move(printer));
}

CQVPrinter* CPrinterList::AppendPrinter(std::unique_ptr<CQVPrinter> printer) {
    if (!printer) return nullptr;
    CQVPrinter* added = printer.get();
    m_listPrinters.push_back(std::move(printer));
    // The first printer with a text stays the one found by it. (`added` was taken before the
    // move and stays valid: the list now owns the object.)
    // cppcheck-suppress accessMoved
    m_index.emplace(GetPrinterText(*added), added);
    return added;
}

void CPrinterList::SetCurrentPrinter(CQVPrinter* printer) {
    m_strCurrentName = printer ? GetPrinterText(*printer) : std::string();
}

int CPrinterList::SelectPrinterByName(const char* name) {
    CQVPrinter* printer = AddPrinter(name ? name : "");
    if (!printer) return 0;
    SetCurrentPrinter(printer);
    return 1;
}

int CPrinterList::GetCurrentPrinterName(std::string& out) const {
    out = m_strCurrentName;
    return out.empty() ? 0 : 1;
}

int CPrinterList::GetCount() const { return static_cast<int>(m_listPrinters.size()); }

int CPrinterList::EnumeratePrinters(const char* driverName, const char* driverName2) {
    plat::ISpooler& spooler = plat::Spooler();
    uint32_t needed = 0, count = 0;
    spooler.EnumPrinters(win::PRINTER_ENUM_LOCAL, 2, nullptr, 0, &needed, &count);

    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[needed ? needed : 1]());
    if (!buffer) return 0;
    count = 0;
    const uint32_t size = needed;
    if (!spooler.EnumPrinters(win::PRINTER_ENUM_LOCAL, 2, buffer.get(), size, &needed, &count))
        return 0;
    const std::vector<plat::PrinterInfo2> records =
        RecordsInBuffer(spooler, buffer.get(), size, count);

    // The queue names the spooler lists under other drivers. A listed name whose queue is among
    // them is passed over, so that a printer of another driver is never opened: a special-tape
    // name of another driver's queue, or a name the code page cannot hold, which comes back with
    // '?' in place of what it lacks and can then be the name of another queue. A queue the
    // spooler does not list is left to the open to decide.
    std::unordered_set<std::string> otherDrivers;
    for (const plat::PrinterInfo2& record : records) {
        if (record.pPrinterName && !OfModel(record.pDriverName, driverName, driverName2))
            otherDrivers.insert(QueueKey(record.pPrinterName));
    }

    int result = 0;
    for (const plat::PrinterInfo2& record : records) {
        if (!OfModel(record.pDriverName, driverName, driverName2) || !record.pPrinterName) continue;
        // The printer is opened under its name without the suffix and updated under the whole name.
        if (!FindPrinter(record.pPrinterName) &&
            (otherDrivers.count(TargetQueueKey(record.pPrinterName)) ||
             otherDrivers.count(QueueKey(record.pPrinterName))))
            continue;
        if (AddPrinter(record.pPrinterName, driverName, driverName2)) result = 1;
    }
    return result;
}

CPrinterList& GetPrinterList() {
    static CPrinterList list;
    return list;
}
