; The Nimbo installer, per machine: NIMBO.exe, NimboSVC.exe, NimboStop.exe,
; NIMBO.CHM, README.txt and LICENSE in one folder that only administrators
; and the system may change (C:\Program Files\Nimbo; NIMBO.INI and the logs
; live beside the program), Start menu entries that run as administrator,
; and, as an option, the service "Nimbo". A user's own tray server comes from
; the zip, unpacked in the user's profile. scripts/package.sh builds it:
;
;   makensis -DVERSION=0.13 -DVERSION_QUAD=0.13.0.0 -DSTAGE=<folder with the files>
;            -DICON=<nimbo.ico> -DOUTFILE=<setup.exe> nimbo.nsi
;
; Command line, besides the usual /S (silent) and /D=<folder> (last):
;   setup.exe /SERVICE     also install and start the service
;   Uninstall.exe /PURGE   also delete NIMBO.INI (settings and leases)
; A new version installed over an older one stops the running server first,
; keeps NIMBO.INI, and keeps the service when the folder had one: stopped,
; not removed, so its parameters and settings stay, and started again.
; An existing folder is taken only when it is empty or an earlier Nimbo
; installation, and its access is left as it is; a folder the installer makes
; is given access for administrators and the system only. Each step and
; every failure is written to %TEMP%\nimbo-setup.log; a silent installation
; that fails exits with 2 (folder refused, nothing changed) or 3 (the
; service cannot be kept or installed).

Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Nimbo"
!define SERVICE_KEY "System\CurrentControlSet\Services\Nimbo"
!define SHUTDOWN_SERVER 40003  ; the server's menu command that stops it
!define SYNCHRONIZE_AND_QUERY 0x00101000  ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
!define SETUP_LOG "$TEMP\nimbo-setup.log"

Var FolderMade   ; 1: this installation makes the folder
Var ServiceWas   ; 1: the folder's service was installed before

Name "Nimbo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Nimbo"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Nimbo ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "Nimbo"
VIAddVersionKey "FileDescription" "Nimbo DHCP Server Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Nimbo authors"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE"
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; A line in the installation details and in the setup log.
!macro SAY text
  DetailPrint "${text}"
  Push "${text}"
  Call WriteSetupLog
!macroend

; The reason in the details, the log and (not silent) a message; the exit
; code; the installation ends here.
!macro FAIL code text
  !insertmacro SAY "${text}"
  MessageBox MB_ICONSTOP "${text}" /SD IDOK
  SetErrorLevel ${code}
  Abort
!macroend

; "Run as administrator" on a shortcut: bit 0x20 of the byte at 0x15, in the
; link flags of the file's header.
!macro RUN_AS_ADMINISTRATOR link
  FileOpen $R0 "${link}" a
  FileSeek $R0 0x15 SET
  FileReadByte $R0 $R1
  IntOp $R1 $R1 | 0x20
  FileSeek $R0 0x15 SET
  FileWriteByte $R0 $R1
  FileClose $R0
!macroend

Function WriteSetupLog
  Exch $R0
  Push $R1
  FileOpen $R1 "${SETUP_LOG}" a
  FileSeek $R1 0 END
  FileWrite $R1 "$R0$\r$\n"
  FileClose $R1
  Pop $R1
  Pop $R0
FunctionEnd

; $0 = the program of the service Nimbo (its quotes taken off), else "".
!macro SERVICE_PROGRAM
  ClearErrors
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${If} ${Errors}
    StrCpy $0 ""
  ${EndIf}
  StrCpy $1 $0 1
  ${If} $1 == '"'
    StrCpy $0 $0 -1 1
  ${EndIf}
!macroend

; $R0 "stop" or "start": the service Nimbo, waiting up to 60 s until it has
; stopped (its server has saved NIMBO.INI and ended) or runs. $R1 = "" when
; it did, else why not. A start also makes an old interactive service (type
; 0x110) a plain one: services share no user's desktop since Windows Vista.
Function NimboService
  StrCpy $R1 ""
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p .R2'
  System::Call 'advapi32::OpenServiceW(p R2, w "Nimbo", i 0x37) p .R3 ?e'
  Pop $R4
  ${If} $R3 P= 0
    StrCpy $R1 "the service Nimbo cannot be opened (error $R4)"
  ${Else}
    System::Call '*(i 0, i 0, i 0, i 0, i 0, i 0, i 0) p .R5'
    ${If} $R0 == "stop"
      StrCpy $R6 1  ; stopped
      System::Call 'advapi32::ControlService(p R3, i 1, p R5) i'
    ${Else}
      StrCpy $R6 4  ; running
      System::Call 'advapi32::ChangeServiceConfigW(p R3, i 0x10, i -1, i -1, p 0, p 0, p 0, p 0, p 0, p 0, p 0) i'
      ; The database is locked for a moment while the system starts services.
      StrCpy $R8 0
      ${Do}
        System::Call 'advapi32::StartServiceW(p R3, i 0, p 0) i .R7 ?e'
        Pop $R4
        ${IfThen} $R7 <> 0 ${|} ${Break} ${|}
        ${IfThen} $R4 = 1056 ${|} ${Break} ${|}  ; already running
        ${If} $R4 <> 1055
        ${OrIf} $R8 >= 300
          StrCpy $R1 "the service Nimbo did not start (error $R4)"
          ${Break}
        ${EndIf}
        IntOp $R8 $R8 + 1
        Sleep 100
      ${Loop}
    ${EndIf}
    StrCpy $R8 0
    ${DoWhile} $R1 == ""
      System::Call 'advapi32::QueryServiceStatus(p R3, p R5) i'
      System::Call '*$R5(i, i .R7, i, i .R9)'
      ${IfThen} $R7 = $R6 ${|} ${Break} ${|}
      ${If} $R6 = 4
      ${AndIf} $R7 = 1
        StrCpy $R1 "the service Nimbo stopped again at once (exit code $R9)"
      ${ElseIf} $R8 >= 600
        StrCpy $R1 "the service Nimbo did not $R0 within 60 seconds"
      ${EndIf}
      IntOp $R8 $R8 + 1
      Sleep 100
    ${Loop}
    System::Free $R5
    System::Call 'advapi32::CloseServiceHandle(p R3)'
  ${EndIf}
  System::Call 'advapi32::CloseServiceHandle(p R2)'
FunctionEnd

; Stops what runs from $INSTDIR before its files are replaced or removed.
; The service first: the installer stops it and keeps it (it is started
; again once the files are in place), the uninstaller removes it with
; "NimboSVC Remove Quiet"; either returns once its server has saved NIMBO.INI
; and ended. Then a server started by hand from this folder: its Shutdown
; Server command, and a wait for its process, which saves NIMBO.INI last. A
; server run from another folder is left alone.
!macro STOP_SERVER un
Function ${un}StopServer
  !insertmacro SERVICE_PROGRAM
  ${If} $0 == "$INSTDIR\NimboSVC.exe"
    !if "${un}" == ""
      !insertmacro SAY "Stopping the service Nimbo"
      StrCpy $R0 "stop"
      Call NimboService
      ${If} $R1 != ""
        !insertmacro FAIL 3 "Nothing was changed: $R1."
      ${EndIf}
    !else
      DetailPrint "Stopping and removing the service Nimbo"
      nsExec::ExecToLog '"$INSTDIR\NimboSVC.exe" Remove Quiet'
      Pop $1
    !endif
  ${EndIf}
  FindWindow $0 "NIMBOClass" "DHCP Server"
  ${If} $0 P<> 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE_AND_QUERY}, i 0, i r1) p .r2'
    ${If} $2 P<> 0
      StrCpy $3 ""
      System::Call 'kernel32::QueryFullProcessImageNameW(p r2, i 0, w .r3, *i ${NSIS_MAX_STRLEN})'
      ${If} $3 == "$INSTDIR\NIMBO.exe"
        DetailPrint "Stopping the running server"
        System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${SHUTDOWN_SERVER}, p 0)'
        System::Call 'kernel32::WaitForSingleObject(p r2, i 30000) i'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
  ${EndIf}
FunctionEnd
!macroend
!insertmacro STOP_SERVER ""
!insertmacro STOP_SERVER "un."

; Refuses ($R1 = why) an existing folder that holds anything but what a
; Nimbo installation holds, or holds neither NIMBO.exe nor NIMBO.INI;
; $FolderMade = 1 when the folder does not exist yet.
Function CheckFolder
  StrCpy $R1 ""
  StrCpy $FolderMade 0
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    StrCpy $FolderMade 1
    Return
  ${EndIf}
  StrCpy $R2 0  ; entries
  StrCpy $R3 0  ; NIMBO.exe or NIMBO.INI
  FindFirst $R4 $R5 "$INSTDIR\*.*"
  ${DoWhile} $R5 != ""
    ${Switch} $R5
      ${Case} "."
      ${Case} ".."
        ${Break}
      ${Case} "NIMBO.exe"
      ${Case} "NIMBO.INI"
        IntOp $R3 $R3 + 1
      ${Case} "NimboSVC.exe"
      ${Case} "NimboStop.exe"
      ${Case} "NIMBO.CHM"
      ${Case} "README.txt"
      ${Case} "LICENSE"
      ${Case} "Uninstall.exe"
      ${Case} "NIMBO.LOG"
      ${Case} "NIMBO.OLD"
      ${Case} "Addresses.LOG"
      ${Case} "Addresses.OLD"
      ${Case} "NIMBO.INI.tmp"
      ${Case} "nimbosvc.log"
        IntOp $R2 $R2 + 1
        ${Break}
      ${Default}
        StrCpy $R1 "$INSTDIR holds $R5, which is not Nimbo's"
    ${EndSwitch}
    ${IfThen} $R1 != "" ${|} ${Break} ${|}
    FindNext $R4 $R5
  ${Loop}
  FindClose $R4
  ${If} $R1 == ""
  ${AndIf} $R2 > 0
  ${AndIf} $R3 = 0
    StrCpy $R1 "$INSTDIR holds no earlier Nimbo installation"
  ${EndIf}
FunctionEnd

Function DirectoryLeave
  Call CheckFolder
  ${If} $R1 != ""
    MessageBox MB_ICONEXCLAMATION "$R1. Choose a new or empty folder."
    Abort
  ${EndIf}
FunctionEnd

Section "Nimbo DHCP Server" SecProgram
  SectionIn RO
  Call CheckFolder
  ${If} $R1 != ""
    !insertmacro FAIL 2 "Nothing was installed: $R1. Choose a new or empty folder."
  ${EndIf}
  StrCpy $ServiceWas 0
  !insertmacro SERVICE_PROGRAM
  ${IfThen} $0 == "$INSTDIR\NimboSVC.exe" ${|} StrCpy $ServiceWas 1 ${|}
  Call StopServer
  SetOutPath "$INSTDIR"
  Call SetFolderAccess
  File "${STAGE}/NIMBO.exe"
  File "${STAGE}/NimboSVC.exe"
  File "${STAGE}/NimboStop.exe"
  File "${STAGE}/NIMBO.CHM"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Nimbo"
  CreateShortcut "$SMPROGRAMS\Nimbo\Nimbo.lnk" "$INSTDIR\NIMBO.exe" "" "" "" SW_SHOWNORMAL "" "Start the Nimbo DHCP server"
  CreateShortcut "$SMPROGRAMS\Nimbo\Help.lnk" "$INSTDIR\NIMBO.CHM" "" "" "" SW_SHOWNORMAL "" "Nimbo help"
  CreateShortcut "$SMPROGRAMS\Nimbo\Stop Nimbo.lnk" "$INSTDIR\NimboStop.exe" "" "$INSTDIR\NIMBO.exe" 0 SW_SHOWMINIMIZED "" "Stop the running Nimbo server"
  ; The server writes NIMBO.INI into a folder only administrators may
  ; change, and stops or hands over the service.
  !insertmacro RUN_AS_ADMINISTRATOR "$SMPROGRAMS\Nimbo\Nimbo.lnk"
  !insertmacro RUN_AS_ADMINISTRATOR "$SMPROGRAMS\Nimbo\Stop Nimbo.lnk"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Nimbo DHCP Server"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Nimbo authors"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\NIMBO.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; NimboSVC installs the service with its own folder's NIMBO.EXE and starts
; it; it refuses a folder that others may change. The server then runs as
; LocalSystem, in session 0, where no user sees it: its settings are changed
; by starting Nimbo from the Start menu (see README.txt). An update starts
; the service it kept.
Section /o "Run as a Windows service" SecService
  ${If} $ServiceWas = 1
    !insertmacro SAY "Starting the service Nimbo again"
    StrCpy $R0 "start"
    Call NimboService
    ${If} $R1 != ""
      !insertmacro FAIL 3 "The service Nimbo is kept but not running: $R1."
    ${EndIf}
  ${Else}
    !insertmacro SAY "Installing and starting the service Nimbo"
    nsExec::ExecToStack '"$INSTDIR\NimboSVC.exe" Config Quiet'
    Pop $0
    Pop $1
    !insertmacro SAY "$1"
    ${If} $0 != 0
      !insertmacro FAIL 3 "The service Nimbo was not installed (NimboSVC Config Quiet exited with $0); see above."
    ${EndIf}
  ${EndIf}
SectionEnd

; The folder's service, kept so far, goes when the option was unticked.
Section "-Service removed"
  ${If} $ServiceWas = 1
  ${AndIfNot} ${SectionIsSelected} ${SecService}
    !insertmacro SAY "Removing the service Nimbo"
    nsExec::ExecToLog '"$INSTDIR\NimboSVC.exe" Remove Quiet'
    Pop $0
  ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The server NIMBO.exe, its help file, NimboSVC.exe and NimboStop.exe, with Start menu entries. Its settings (NIMBO.INI) and logs are kept in the same folder."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecService} "Runs the server as the Windows service $\"Nimbo$\" (NimboSVC Config Quiet), started now and with Windows. Give it its static address in NIMBO.INI first: the warning a server without one shows cannot be closed in a service."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Who may change a folder this installation made: administrators and the
; system only, users read. The programs there run as LocalSystem (the
; service) and as administrator, so anyone else could plant a program or a
; DLL that they run. A folder that existed keeps its access.
Function SetFolderAccess
  ${If} $FolderMade = 1
    nsExec::ExecToLog 'icacls "$INSTDIR" /setowner *S-1-5-32-544'
    Pop $0
    nsExec::ExecToLog 'icacls "$INSTDIR" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
    Pop $0
  ${EndIf}
FunctionEnd


Function .onInit
  SetShellVarContext all
  !insertmacro SAY "Nimbo ${VERSION} setup"
  ; An update keeps the service of the folder it updates.
  !insertmacro SERVICE_PROGRAM
  ${If} $0 == "$INSTDIR\NimboSVC.exe"
    !insertmacro SelectSection ${SecService}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/SERVICE" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecService}
  ${EndIf}
FunctionEnd

Section "un.Nimbo DHCP Server" UnSecProgram
  SectionIn RO
  Call un.StopServer
  Delete "$INSTDIR\NIMBO.exe"
  Delete "$INSTDIR\NimboSVC.exe"
  Delete "$INSTDIR\NimboStop.exe"
  Delete "$INSTDIR\NIMBO.CHM"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE"
  ; What the server wrote: the logs, their older halves, and a settings
  ; file left half-written by a failed save.
  Delete "$INSTDIR\NIMBO.LOG"
  Delete "$INSTDIR\NIMBO.OLD"
  Delete "$INSTDIR\Addresses.LOG"
  Delete "$INSTDIR\Addresses.OLD"
  Delete "$INSTDIR\NIMBO.INI.tmp"
  Delete "$INSTDIR\Uninstall.exe"

  Delete "$SMPROGRAMS\Nimbo\Nimbo.lnk"
  Delete "$SMPROGRAMS\Nimbo\Help.lnk"
  Delete "$SMPROGRAMS\Nimbo\Stop Nimbo.lnk"
  RMDir "$SMPROGRAMS\Nimbo"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Settings and lease table (NIMBO.INI)" UnSecSettings
  Delete "$INSTDIR\NIMBO.INI"
SectionEnd

Section "-un.Folder"
  RMDir "$INSTDIR"  ; only when nothing is left in it
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecProgram} "Stops the server and its service, removes the service, the programs, the logs and the Start menu entries."
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecSettings} "Also deletes NIMBO.INI, which holds the settings, reservations and leases (kept otherwise, for a later installation)."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function un.onInit
  SetShellVarContext all
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PURGE" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecSettings}
  ${EndIf}
FunctionEnd
