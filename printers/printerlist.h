// The one program-wide list of label printers and the name of the current printer.
#pragma once
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "printers/qvprinter.h"

class CPrinterList {
  public:
    CPrinterList();
    virtual ~CPrinterList();
    CPrinterList(const CPrinterList&) = delete;
    CPrinterList& operator=(const CPrinterList&) = delete;

    // Adds every installed printer whose driver is driverName or driverName2, in the spooler's
    // order. 1 when at least one of them is in the list afterwards, else 0.
    int EnumeratePrinters(const char* driverName, const char* driverName2);
    // The printer whose display text equals name exactly (byte for byte), or null.
    CQVPrinter* FindPrinter(const char* name);
    // Find-or-create: null when a new printer's initialisation fails, or, when driverName is
    // given, when the queue the name opens reports neither driverName nor driverName2.
    CQVPrinter* AddPrinter(const char* name, const char* driverName = nullptr,
                           const char* driverName2 = nullptr);
    // Adds the printer at the tail; returns it (null for a null printer, which is not added).
    CQVPrinter* AppendPrinter(std::unique_ptr<CQVPrinter> printer);
    // Makes the printer current by its display text.
    void SetCurrentPrinter(CQVPrinter* printer);
    // AddPrinter and SetCurrentPrinter; 0 with the current printer unchanged when no printer.
    int SelectPrinterByName(const char* name);
    // The current printer's display name; 1 when it is not empty.
    int GetCurrentPrinterName(std::string& out) const;
    int GetCount() const;
    // The printers from head to tail.
    const std::list<std::unique_ptr<CQVPrinter>>& Printers() const { return m_listPrinters; }
    // The printer's display name as the list shows it (empty when its settings are not held).
    static std::string GetPrinterText(const CQVPrinter& p);
    // Releases every printer and forgets the current name, as at process exit.
    void ResetForTest();

  private:
    void ReleaseAll();

    std::list<std::unique_ptr<CQVPrinter>> m_listPrinters;
    std::string m_strCurrentName;
    // Display text -> first printer with it, so that finding a printer does not walk the list.
    std::unordered_map<std::string, CQVPrinter*> m_index;
};

// The one list of the process; destroyed at exit.
CPrinterList& GetPrinterList();
