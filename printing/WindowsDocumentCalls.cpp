// Takes over the toolkit's document calls into gdi32, to read each answer where it is given.

#include "WindowsDocumentCalls.h"

#include <windows.h>

#include <array>
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

// The slot through which module calls function from dll, or null.
IMAGE_THUNK_DATA *ImportSlot(HMODULE module, const char *dll, const char *function)
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
            if (std::strcmp(reinterpret_cast<const char *>(named->Name), function) == 0)
                return slots;
        }
    }
    return nullptr;
}

bool Point(IMAGE_THUNK_DATA *slot, ULONG_PTR target)
{
    DWORD protection = 0;
    if (!VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection))
        return false;
    slot->u1.Function = target;
    VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
    return true;
}

// Points the engine's four document calls here, all or none: with some
// watched and some not, a failure could be read from one call and missed
// in the next.
bool RedirectDocumentCalls(HMODULE engine)
{
    struct Import
    {
        const char *function;
        const void *replacement;
        IMAGE_THUNK_DATA *slot = nullptr;
        ULONG_PTR original = 0;
    };
    std::array<Import, 4> imports{{{"StartDocW", reinterpret_cast<const void *>(&WatchedStartDocW)},
                                   {"StartPage", reinterpret_cast<const void *>(&WatchedStartPage)},
                                   {"EndPage", reinterpret_cast<const void *>(&WatchedEndPage)},
                                   {"EndDoc", reinterpret_cast<const void *>(&WatchedEndDoc)}}};
    for (Import &import : imports) {
        import.slot = ImportSlot(engine, "gdi32.dll", import.function);
        if (!import.slot)
            return false;
        import.original = import.slot->u1.Function;
    }
    for (std::size_t done = 0; done < imports.size(); ++done) {
        const auto replacement = reinterpret_cast<ULONG_PTR>(imports[done].replacement);
        if (!Point(imports[done].slot, replacement)) {
            while (done-- > 0)
                Point(imports[done].slot, imports[done].original);
            return false;
        }
    }
    return true;
}

} // namespace

bool WatchDocumentCalls()
{
    static const bool watching = [] {
        const HMODULE engine = GetModuleHandleW(L"Qt6PrintSupport.dll");
        return engine && RedirectDocumentCalls(engine);
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
