; The per-user installer. packaging/windows/CMakeLists.txt passes in VERSION,
; VERSION4 (four parts), COPYRIGHT, PUBLISHER, ICON, OUTFILE and FILES, the
; folder of install-files.nsh and uninstall-files.nsh that stage.cmake wrote;
; to sign the uninstaller and the setup, SIGN (sign.sh), SIGN_PKCS12 and
; SIGN_TIMESTAMP (which may be empty).
;
;   setup.exe /S        installs without a window, first removing an
;                       installed version with its own uninstaller
;   Uninstall.exe /S    removes every file installed, the Start menu entry,
;                       the registry key, and the folders once they are empty

; 64-bit and Unicode, as the program is: on 32-bit Windows it stops at once,
; instead of installing a program that could not start there. It also runs
; under a Wine without 32-bit support.
Target amd64-unicode
; Into the user's own profile: no administrator rights, no UAC prompt.
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS all
SetCompressor /SOLID lzma
!ifdef SIGN
    !uninstfinalize 'bash "${SIGN}" "%1" "${SIGN_PKCS12}" "${SIGN_TIMESTAMP}"' = 0
    !finalize 'bash "${SIGN}" "%1" "${SIGN_PKCS12}" "${SIGN_TIMESTAMP}"' = 0
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Plendrik"

Name "Plendrik"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Plendrik"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Plendrik ${VERSION}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\plendrik.exe"
!define MUI_CUSTOMFUNCTION_UNABORT un.RemoveCopy
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Plendrik"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Plendrik ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright ${COPYRIGHT}"

; Windows neither replaces nor removes the files of a running program.
!macro DEFINE_PROGRAM_CLOSED UN
Function ${UN}ProgramClosed
    check:
    IfFileExists "$INSTDIR\plendrik.exe" 0 closed
    ClearErrors
    FileOpen $0 "$INSTDIR\plendrik.exe" a
    IfErrors running
    FileClose $0
    Goto closed
    running:
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Plendrik is running. Close it, then choose Retry." /SD IDCANCEL IDRETRY check
    Abort "Plendrik is running."
    closed:
FunctionEnd
!macroend
!insertmacro DEFINE_PROGRAM_CLOSED ""
!insertmacro DEFINE_PROGRAM_CLOSED "un."

; An installed version goes first, by its own uninstaller, so that no file
; that only it had stays behind. The uninstaller runs from a copy, as it
; does from Settings, and is waited for. Once it ends it starts its own
; clean-up of that copy (un.RemoveSelf), which keeps trying for a while:
; the copy is held open until this setup has written everything, so that
; clean-up cannot run in the middle of the install.
Var EarlierCopy
Function RemoveEarlier
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == ""
    ${OrIfNot} ${FileExists} "$0\Uninstall.exe"
        Return
    ${EndIf}
    InitPluginsDir
    CreateDirectory "$PLUGINSDIR\earlier"
    CopyFiles /SILENT "$0\Uninstall.exe" "$PLUGINSDIR\earlier"
    FileOpen $EarlierCopy "$PLUGINSDIR\earlier\Uninstall.exe" r
    ClearErrors
    ExecWait '"$PLUGINSDIR\earlier\Uninstall.exe" /S _?=$0' $1
    ${If} ${Errors}
    ${OrIf} $1 <> 0
        FileClose $EarlierCopy
        Abort "The installed Plendrik could not be removed."
    ${EndIf}
    Delete "$0\Uninstall.exe"
FunctionEnd

Section
    Call ProgramClosed
    Call RemoveEarlier
    !include "${FILES}/install-files.nsh"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    SetOutPath "$INSTDIR"
    CreateShortcut "$SMPROGRAMS\Plendrik.lnk" "$INSTDIR\plendrik.exe" "" "$INSTDIR\plendrik.exe" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Plendrik"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\plendrik.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${INSTALLED_KB}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${If} $EarlierCopy != ""
        FileClose $EarlierCopy
    ${EndIf}
SectionEnd

; Only what was installed goes, and a folder only once empty: whatever the
; user put beside the program stays, and so does its folder.
Section "Uninstall"
    Call un.ProgramClosed
    !include "${FILES}/uninstall-files.nsh"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    ; The first per-user install may have made these; they go only if empty.
    RMDir "$LOCALAPPDATA\Programs"
    Delete "$SMPROGRAMS\Plendrik.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall"
    ; Closing at once lets the uninstaller's own file go straight after.
    SetAutoClose true
SectionEnd

; Windows keeps the file of a running program, so this uninstaller (a copy
; in a temporary folder, or Uninstall.exe itself when run with _?=) cannot
; remove itself. A command prompt does, with the folder it ran from if that
; is left empty, once the uninstaller has ended: it tries each second, for
; half a minute. It runs detached, without a console of its own, from the
; temporary folder, so that it holds none of the folders it removes.
!define DETACHED_PROCESS 0x00000008
Function un.RemoveSelf
    StrCpy $0 '"$SYSDIR\cmd.exe" /d /s /c "for /l %i in (1,1,30) do (del /f /q "$EXEPATH" 2>nul & rmdir "$EXEDIR" 2>nul & if not exist "$EXEDIR" (rmdir "$LOCALAPPDATA\Programs" 2>nul & exit) & ping -n 2 127.0.0.1 >nul)"'
    StrCpy $6 $TEMP
    ; STARTUPINFOW, all zero but its size, and PROCESS_INFORMATION.
    System::Alloc 104
    Pop $1
    System::Call "*$1(i 104)"
    System::Alloc 24
    Pop $2
    System::Call "kernel32::CreateProcessW(p 0, w r0, p 0, p 0, i 0, i ${DETACHED_PROCESS}, p 0, w r6, p r1, p r2) i .r3"
    System::Call "*$2(p .r4, p .r5)"
    ${If} $3 <> 0
        System::Call "kernel32::CloseHandle(p r4)"
        System::Call "kernel32::CloseHandle(p r5)"
    ${EndIf}
    System::Free $1
    System::Free $2
FunctionEnd

Function un.onUninstSuccess
    Call un.RemoveSelf
FunctionEnd

; Stopped or cancelled, the temporary copy goes all the same; Uninstall.exe
; itself stays, for the next try.
Function un.RemoveCopy
    ${If} $EXEFILE != "Uninstall.exe"
        Call un.RemoveSelf
    ${EndIf}
FunctionEnd
Function un.onUninstFailed
    Call un.RemoveCopy
FunctionEnd
