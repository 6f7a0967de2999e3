// Export tables of the stand-in libraries bound to the in-process printer core
// (simprinter::Instance()), so that a simulated machine can register them as loadable modules:
//   machine.modules.Register("XmLink.dll", simprinter::XmLinkExports());
// Each value is a function pointer of the shape in platform/maker_api.h, cast to void*.
#pragma once
#include <map>
#include <set>
#include <string>

namespace simprinter {

// The eight transfer-driver entry points, minus those named in `omit` (e.g. {"XMDeleteFile"}).
std::map<std::string, void*> XmLinkExports(const std::set<std::string>& omit = {});
// QVWriteFile and QVReadFile, minus those named in `omit` (e.g. {"QVReadFile"}).
std::map<std::string, void*> QvFiloExports(const std::set<std::string>& omit = {});
// MyDeviceCapabilities of the stand-in driver information library (standins/infolib.h).
std::map<std::string, void*> QvInfoExports(const std::set<std::string>& omit = {});

}  // namespace simprinter
