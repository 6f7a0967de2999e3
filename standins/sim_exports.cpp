#include "standins/sim_exports.h"

#include "platform/maker_api.h"
#include "standins/infolib.h"
#include "standins/simprinter.h"

namespace simprinter {
namespace {

int32_t ULMA_WINAPI InitPrinter(const char* printerName, uint8_t* record10) {
    return Instance().XMInitPrinter(printerName, record10);
}
int32_t ULMA_WINAPI CheckSupportPrinter(const char* printerName) {
    return Instance().XMCheckSupportPrinter(printerName);
}
int32_t ULMA_WINAPI CmdInit(int32_t value) { return Instance().XMCmdInit(value); }
int32_t ULMA_WINAPI GetStatus(uint8_t* status32, int32_t value) {
    return Instance().XMGetStatus(status32, value);
}
int32_t ULMA_WINAPI GetFileList(char* buffer, int32_t size) {
    return Instance().XMGetFileList(buffer, size);
}
int32_t ULMA_WINAPI SendFile(const uint8_t* header64, const uint8_t* data, const uint32_t* length,
                             uint8_t* status32, int32_t value, maker::XMProgressCallback callback) {
    return Instance().XMSendFile(header64, data, length, status32, value, callback);
}
int32_t ULMA_WINAPI ReceiveFile(const char* name, uint8_t* buffer, int32_t size) {
    return Instance().XMReceiveFile(name, buffer, size);
}
int32_t ULMA_WINAPI DeleteFile(const char* name) { return Instance().XMDeleteFile(name); }
int32_t ULMA_WINAPI WriteFile(char* printerName, int32_t zero, const uint8_t* data, uint32_t length,
                              uint32_t* count, uint32_t timeout) {
    return Instance().QVWriteFile(printerName, zero, data, length, count, timeout);
}
int32_t ULMA_WINAPI ReadFile(char* printerName, int32_t zero, uint8_t* data, uint32_t length,
                             uint32_t* count, uint32_t timeout) {
    return Instance().QVReadFile(printerName, zero, data, length, count, timeout);
}

int32_t ULMA_WINAPI DeviceCapabilities(const char* device, const char* port, uint32_t capability,
                                       char* output, const void* devmode) {
    return InfoDeviceCapabilities(device, port, capability, output, devmode);
}

// The definitions above must keep the shapes the tool binds them as.
maker::PFN_XMInitPrinter const kInitPrinter = &InitPrinter;
maker::PFN_XMCheckSupportPrinter const kCheckSupportPrinter = &CheckSupportPrinter;
maker::PFN_XMCmdInit const kCmdInit = &CmdInit;
maker::PFN_XMGetStatus const kGetStatus = &GetStatus;
maker::PFN_XMGetFileList const kGetFileList = &GetFileList;
maker::PFN_XMSendFile const kSendFile = &SendFile;
maker::PFN_XMReceiveFile const kReceiveFile = &ReceiveFile;
maker::PFN_XMDeleteFile const kDeleteFile = &DeleteFile;
maker::PFN_QVWriteFile const kWriteFile = &WriteFile;
maker::PFN_QVReadFile const kReadFile = &ReadFile;
maker::PFN_MyDeviceCapabilities const kDeviceCapabilities = &DeviceCapabilities;

template <typename Fn>
void Put(std::map<std::string, void*>& table, const std::set<std::string>& omit, const char* name,
         Fn fn) {
    if (omit.count(name) == 0) table[name] = reinterpret_cast<void*>(fn);
}

}  // namespace

std::map<std::string, void*> XmLinkExports(const std::set<std::string>& omit) {
    std::map<std::string, void*> table;
    Put(table, omit, "XMInitPrinter", kInitPrinter);
    Put(table, omit, "XMCheckSupportPrinter", kCheckSupportPrinter);
    Put(table, omit, "XMCmdInit", kCmdInit);
    Put(table, omit, "XMGetStatus", kGetStatus);
    Put(table, omit, "XMGetFileList", kGetFileList);
    Put(table, omit, "XMSendFile", kSendFile);
    Put(table, omit, "XMReceiveFile", kReceiveFile);
    Put(table, omit, "XMDeleteFile", kDeleteFile);
    return table;
}

std::map<std::string, void*> QvFiloExports(const std::set<std::string>& omit) {
    std::map<std::string, void*> table;
    Put(table, omit, "QVWriteFile", kWriteFile);
    Put(table, omit, "QVReadFile", kReadFile);
    return table;
}

}  // namespace simprinter

namespace simprinter {

std::map<std::string, void*> QvInfoExports(const std::set<std::string>& omit) {
    std::map<std::string, void*> table;
    Put(table, omit, "MyDeviceCapabilities", kDeviceCapabilities);
    return table;
}

}  // namespace simprinter
