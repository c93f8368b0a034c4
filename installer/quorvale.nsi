; Per-user Windows installer of Quorvale Workspace, built by the Windows build (see
; cmake/Installer.cmake), which passes:
;   QV_VERSION        the program's version, four numbers (from CMakeLists.txt)
;   QV_EXE            the built QuorvaleWorkspace.exe
;   QV_ICON           the program icon
;   QV_COMPANION_NSH  the generated list of the terminal companion's files
;   QV_OUT            the installer to write
; It needs no administrator rights: everything goes under the user's own profile and
; HKEY_CURRENT_USER.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma

!define QV_NAME "Quorvale Workspace"
!define QV_IMAGE "QuorvaleWorkspace.exe"
!define QV_UNINSTALLER "Uninstall.exe"
!define QV_UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvaleWorkspace"
!define QV_RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define QV_RUN_VALUE "QuorvaleWorkspace"
!define QV_MUTEX "QuorvaleWorkspace_Daemon_Mutex"
!define QV_SHORTCUT "$SMPROGRAMS\${QV_NAME}.lnk"

Name "${QV_NAME}"
OutFile "${QV_OUT}"
InstallDir "$LOCALAPPDATA\Programs\${QV_NAME}"
; An upgrade goes where the first install went, even if the trader chose another folder.
InstallDirRegKey HKCU "${QV_UNINST_KEY}" "InstallLocation"
BrandingText "${QV_NAME} ${QV_VERSION}"

VIProductVersion "${QV_VERSION}"
VIFileVersion "${QV_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${QV_NAME}"
VIAddVersionKey /LANG=1033 "CompanyName" "Quorvale"
VIAddVersionKey /LANG=1033 "FileDescription" "${QV_NAME} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${QV_VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${QV_VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Quorvale"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "${QV_COMPANION_NSH}"

!define MUI_ICON "${QV_ICON}"
!define MUI_UNICON "${QV_ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Your workspace data (the bridge folder with its records, the browser profile, stored settings and keys, and the debug log) is kept unless you tick the box below."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------------------------------
; The terminal companion's files, once per use: $R9 is the folder they go to (or come from).

!macro QvInstallCompanionFile SUBDIR SOURCE NAME
  SetOutPath "$R9${SUBDIR}"
  File "${SOURCE}"
!macroend

!macro QvRemoveCompanionFile SUBDIR SOURCE NAME
  Delete "$R9${SUBDIR}\${NAME}"
  ; Only when empty: the terminal keeps its compiled experts beside the sources.
  RMDir "$R9${SUBDIR}"
!macroend

; Calls FUNC once for every MetaTrader 5 data folder of this user (each terminal
; installation has one, %APPDATA%\MetaQuotes\Terminal\<hash>\MQL5), with $R9 set to its
; MQL5\Experts\Quorvale folder; leaves the number found in $R7.
!macro QvForEachDataFolder FUNC
  StrCpy $R7 0
  ClearErrors
  FindFirst $R6 $R5 "$APPDATA\MetaQuotes\Terminal\*"
  ${DoUntil} ${Errors}
    ${If} $R5 != "."
    ${AndIf} $R5 != ".."
    ${AndIf} ${FileExists} "$APPDATA\MetaQuotes\Terminal\$R5\MQL5\*.*"
      StrCpy $R9 "$APPDATA\MetaQuotes\Terminal\$R5\MQL5\Experts\Quorvale"
      Call ${FUNC}
      IntOp $R7 $R7 + 1
    ${EndIf}
    ClearErrors
    FindNext $R6 $R5
  ${Loop}
  FindClose $R6
  ClearErrors
!macroend

; ---------------------------------------------------------------------------------------
; Stopping the workspace, before an upgrade and at uninstall. The workspace has no stop
; request of its own and its daemon never ends by itself, so every process of the
; program's image is terminated (taskkill /F /IM, which for a user without administrator
; rights reaches only the user's own processes). The daemon's mutex tells whether a
; daemon runs; it is abandoned when that process ends, which is what is waited for. Then
; the program file itself is waited for, so that no chart overlay still maps it.

!macro QvStopWorkspaceFunction PREFIX
Function ${PREFIX}QvStopWorkspace
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${QV_MUTEX}") p.r0'
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM ${QV_IMAGE}'
  Pop $1
  ${If} $0 != 0
    DetailPrint "Stopping the running workspace daemon"
    ; WAIT_ABANDONED (0x80) or WAIT_OBJECT_0: the daemon is gone; WAIT_TIMEOUT otherwise.
    System::Call 'kernel32::WaitForSingleObject(p r0, i 15000) i.r1'
    ${If} $1 = 0
    ${OrIf} $1 = 0x80
      System::Call 'kernel32::ReleaseMutex(p r0)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
    ${If} $1 = 0x102
      DetailPrint "The workspace daemon did not stop"
    ${EndIf}
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\${QV_IMAGE}"
    StrCpy $2 0
    ${Do}
      ; GENERIC_WRITE, no sharing, OPEN_EXISTING: fails while any process runs the image.
      System::Call 'kernel32::CreateFileW(w "$INSTDIR\${QV_IMAGE}", i 0x40000000, i 0, p 0, i 3, i 0x80, p 0) p.r3'
      ${If} $3 != -1
        System::Call 'kernel32::CloseHandle(p r3)'
        ${Break}
      ${EndIf}
      IntOp $2 $2 + 1
      ${If} $2 > 60
        DetailPrint "The workspace program is still in use"
        ${Break}
      ${EndIf}
      Sleep 250
    ${Loop}
  ${EndIf}
FunctionEnd
!macroend
!insertmacro QvStopWorkspaceFunction ""
!insertmacro QvStopWorkspaceFunction "un."

; ---------------------------------------------------------------------------------------

Function QvInstallIntoDataFolder
  DetailPrint "Terminal companion: $R9"
  !insertmacro QvForEachCompanionFile QvInstallCompanionFile
FunctionEnd

Function un.QvRemoveFromDataFolder
  !insertmacro QvForEachCompanionFile QvRemoveCompanionFile
  RMDir "$R9"
FunctionEnd

Function .onInit
  SetShellVarContext current
FunctionEnd

Section "Install"
  SetShellVarContext current
  Call QvStopWorkspace

  SetOutPath "$INSTDIR"
  SetOverwrite on
  ClearErrors
  File "/oname=${QV_IMAGE}" "${QV_EXE}"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Could not write $INSTDIR\${QV_IMAGE}. Close Quorvale Workspace and run the installer again." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  ; A copy of the companion's files, for terminals installed later; the old version's
  ; copy goes first so that no file of it is left.
  RMDir /r "$INSTDIR\Companion"
  StrCpy $R9 "$INSTDIR\Companion"
  CreateDirectory "$R9"
  !insertmacro QvForEachCompanionFile QvInstallCompanionFile
  SetOutPath "$INSTDIR"

  WriteUninstaller "$INSTDIR\${QV_UNINSTALLER}"
  WriteRegStr HKCU "${QV_UNINST_KEY}" "DisplayName" "${QV_NAME}"
  WriteRegStr HKCU "${QV_UNINST_KEY}" "DisplayVersion" "${QV_VERSION}"
  WriteRegStr HKCU "${QV_UNINST_KEY}" "Publisher" "Quorvale"
  WriteRegStr HKCU "${QV_UNINST_KEY}" "DisplayIcon" "$INSTDIR\${QV_IMAGE},0"
  WriteRegStr HKCU "${QV_UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${QV_UNINST_KEY}" "UninstallString" '"$INSTDIR\${QV_UNINSTALLER}"'
  WriteRegStr HKCU "${QV_UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${QV_UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${QV_UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${QV_UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${QV_UNINST_KEY}" "EstimatedSize" $0
  ; The daemon writes the same value at every start; written here too so that the next
  ; log-on starts the workspace even if this first start fails.
  WriteRegStr HKCU "${QV_RUN_KEY}" "${QV_RUN_VALUE}" '"$INSTDIR\${QV_IMAGE}"'

  CreateShortcut "${QV_SHORTCUT}" "$INSTDIR\${QV_IMAGE}" "" "$INSTDIR\${QV_IMAGE}" 0

  !insertmacro QvForEachDataFolder QvInstallIntoDataFolder
  ${If} $R7 = 0
    MessageBox MB_YESNO|MB_ICONINFORMATION "No MetaTrader 5 data folder was found for this user.$\r$\n$\r$\nThe terminal companion's files are in$\r$\n$INSTDIR\Companion$\r$\n$\r$\nIn MetaTrader 5 choose File > Open Data Folder and copy them into MQL5\Experts\Quorvale there, then attach the expert advisor to a chart.$\r$\n$\r$\nOpen the folder with the files now?" /SD IDNO IDNO +2
    ExecShell "open" "$INSTDIR\Companion"
  ${EndIf}
  SetOutPath "$INSTDIR"

  ; The same start as the auto-start entry makes at the next log-on.
  Exec '"$INSTDIR\${QV_IMAGE}"'
SectionEnd

; ---------------------------------------------------------------------------------------

Section "un.${QV_NAME}" SecUnProgram
  SectionIn RO
  SetShellVarContext current
  Call un.QvStopWorkspace
  DeleteRegValue HKCU "${QV_RUN_KEY}" "${QV_RUN_VALUE}"
  Delete "${QV_SHORTCUT}"
  !insertmacro QvForEachDataFolder un.QvRemoveFromDataFolder
  DeleteRegKey HKCU "${QV_UNINST_KEY}"
  Delete "$INSTDIR\${QV_IMAGE}"
  RMDir /r "$INSTDIR\Companion"
  Delete "$INSTDIR\${QV_UNINSTALLER}"
  ; Not recursive: whatever else the trader keeps in the folder stays.
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.Also remove my workspace data" SecUnData
  SetShellVarContext current
  RMDir /r "$APPDATA\MetaQuotes\Terminal\Common\Files\Quorvale"
  RMDir /r "$APPDATA\Quorvale_Workspace_Data"
  Delete "$APPDATA\Quorvale_Workspace_Debug.log"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnProgram} "The program, its Start-menu entry, its start at log-on and the terminal companion's files it copied."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnData} "The bridge folder (records, heartbeats, positions), the browser profile with stored settings and keys, and the debug log."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function un.onInit
  SetShellVarContext current
  ; A silent uninstall keeps the data unless asked: Uninstall.exe /S /REMOVEDATA
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/REMOVEDATA" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecUnData} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
