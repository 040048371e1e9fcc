; The Nimbo installer: NIMBO.exe, NimboSVC.exe, NimboStop.exe, NIMBO.CHM,
; README.txt and LICENSE in one folder that the server writes to (NIMBO.INI
; and the logs live beside the program), Start menu entries, and, as an
; option, the service "Nimbo". scripts/package.sh builds it:
;
;   makensis -DVERSION=0.13 -DVERSION_QUAD=0.13.0.0 -DSTAGE=<folder with the files>
;            -DICON=<nimbo.ico> -DOUTFILE=<setup.exe> nimbo.nsi
;
; Command line, besides the usual /S (silent) and /D=<folder> (last):
;   setup.exe /SERVICE     also install and start the service
;   Uninstall.exe /PURGE   also delete NIMBO.INI (settings and leases)
; A new version installed over an older one stops the running server first,
; keeps NIMBO.INI, and keeps the service when the folder had one.

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

Name "Nimbo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "C:\Nimbo"
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
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

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

; Stops what runs from $INSTDIR before its files are replaced or removed.
; The service first: "NimboSVC Remove Quiet" returns once the service has
; stopped, which is when its server has saved NIMBO.INI and ended. Then a
; server started by hand from this folder: its Shutdown Server command, and
; a wait for its process, which saves NIMBO.INI last. A server run from
; another folder is left alone.
!macro STOP_SERVER un
Function ${un}StopServer
  !insertmacro SERVICE_PROGRAM
  ${If} $0 == "$INSTDIR\NimboSVC.exe"
    DetailPrint "Stopping and removing the service Nimbo"
    nsExec::ExecToLog '"$INSTDIR\NimboSVC.exe" Remove Quiet'
    Pop $1
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

Section "Nimbo DHCP Server" SecProgram
  SectionIn RO
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
; it. The server then runs as LocalSystem, without a desktop the user sees:
; give it its static address in NIMBO.INI first (see README.txt).
Section /o "Run as a Windows service" SecService
  DetailPrint "Installing and starting the service Nimbo"
  nsExec::ExecToLog '"$INSTDIR\NimboSVC.exe" Config Quiet'
  Pop $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The server NIMBO.exe, its help file, NimboSVC.exe and NimboStop.exe, with Start menu entries. Its settings (NIMBO.INI) and logs are kept in the same folder."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecService} "Runs the server as the Windows service $\"Nimbo$\" (NimboSVC Config Quiet), started now and with Windows. Give it its static address in NIMBO.INI first: the warning a server without one shows cannot be closed in a service."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Who may write the folder. With the service, the programs there run as
; LocalSystem, so only administrators and the system may change or add
; files (anyone else could plant a program or a DLL that the service runs);
; the server itself writes as LocalSystem. Without the service the users
; who start the server write its settings and logs there.
Function SetFolderAccess
  ${If} ${SectionIsSelected} ${SecService}
    nsExec::ExecToLog 'icacls "$INSTDIR" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
  ${Else}
    nsExec::ExecToLog 'icacls "$INSTDIR" /grant *S-1-5-32-545:(OI)(CI)M'
  ${EndIf}
  Pop $0
FunctionEnd

Function .onInit
  SetShellVarContext all
  ; The default folder on the system drive, when not given or installed before.
  ${If} $INSTDIR == "C:\Nimbo"
    StrCpy $0 $WINDIR 2
    StrCpy $INSTDIR "$0\Nimbo"
  ${EndIf}
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
