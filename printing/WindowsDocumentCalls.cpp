#include "WindowsDocumentCalls.h"

#include <windows.h>

#include <cstring>

namespace {

// The toolkit's print engine starts and ends the document and its pages
// itself and reads none of their answers where they are given (a failed
// StartDoc's error is lost to its own clean-up, EndPage's and EndDoc's are
// ignored). Its calls into gdi32 come here instead, on the spooler's thread,
// so each answer is read as it is given, for the report being printed.
thread_local DocumentProgress *t_document = nullptr;

int WINAPI WatchedStartDocW(HDC dc, const DOCINFOW *info)
{
    DocumentProgress *document = t_document;
    if (document && !document->Starting()) {
        SetLastError(ERROR_CANCELLED);
        return SP_ERROR;
    }
    const int job = StartDocW(dc, info);
    const DWORD error = GetLastError();
    if (document && !document->Started(job, error)) {
        AbortDoc(dc);
        SetLastError(ERROR_CANCELLED);
        return SP_ERROR;
    }
    SetLastError(error);
    return job;
}

// A page's or the document's end, read as it is given.
int Noted(int answer)
{
    const DWORD error = GetLastError();
    if (answer <= 0 && t_document)
        t_document->Failed(error);
    SetLastError(error);
    return answer;
}

int WINAPI WatchedStartPage(HDC dc)
{
    return Noted(StartPage(dc));
}

int WINAPI WatchedEndPage(HDC dc)
{
    return Noted(EndPage(dc));
}

int WINAPI WatchedEndDoc(HDC dc)
{
    return Noted(EndDoc(dc));
}

// Points the import of function from dll in module at replacement.
bool Redirect(HMODULE module, const char *dll, const char *function, const void *replacement)
{
    auto *base = reinterpret_cast<BYTE *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto *from = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         imports.VirtualAddress && from->Name; ++from) {
        if (_stricmp(reinterpret_cast<const char *>(base + from->Name), dll) != 0 || !from->OriginalFirstThunk)
            continue;
        const auto *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + from->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + from->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto *named = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char *>(named->Name), function) != 0)
                continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &protection))
                return false;
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), protection, &protection);
            return true;
        }
    }
    return false;
}

} // namespace

bool WatchDocumentCalls()
{
    static const bool watching = [] {
        const HMODULE engine = GetModuleHandleW(L"Qt6PrintSupport.dll");
        return engine && Redirect(engine, "gdi32.dll", "StartDocW", reinterpret_cast<const void *>(&WatchedStartDocW))
               && Redirect(engine, "gdi32.dll", "StartPage", reinterpret_cast<const void *>(&WatchedStartPage))
               && Redirect(engine, "gdi32.dll", "EndPage", reinterpret_cast<const void *>(&WatchedEndPage))
               && Redirect(engine, "gdi32.dll", "EndDoc", reinterpret_cast<const void *>(&WatchedEndDoc));
    }();
    return watching;
}

WatchingDocument::WatchingDocument(DocumentProgress *document)
{
    t_document = document;
}

WatchingDocument::~WatchingDocument()
{
    t_document = nullptr;
}
