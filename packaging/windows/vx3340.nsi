; The VX3340 evaluation software's Windows installer.
;   makensis -DVERSION=1.2.0.0 -DPROGRAMS=<folder with the two .exe> -DREADME=<README.txt>
;            -DICON=<vx3340.ico> -DOUTFILE=<setup.exe> [-DTARGET=amd64-unicode] vx3340.nsi
; The shipped installer is 32-bit and ANSI, so that it runs on Windows 95 and later; TARGET
; builds the same script for other stubs (amd64-unicode for the 64-bit test build).
;
; The port-I/O library is not ours to ship: parllio.dll comes with the board, and InpOut32's
; inpout32.dll (for 64-bit Windows) from InpOut32. A page asks where one of them is and copies it
; beside the programs; /PARLLIO=path or /INPOUT=path does the same in silent mode (/S). With
; inpout32.dll, setup (elevated) loads it once, so that it installs its driver, and reports
; whether the driver is open. The uninstaller removes the DLL only if the installer copied it,
; and leaves InpOut's driver alone: it belongs to InpOut32.

!ifdef TARGET
  Target ${TARGET}
  !define PROGRAMFILES_DIR "$PROGRAMFILES64"
  !define REGISTRY_VIEW 64
!else
  Unicode false
  !define PROGRAMFILES_DIR "$PROGRAMFILES"
  !define REGISTRY_VIEW 32
!endif

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "nsDialogs.nsh"

!define PRODUCT "VX3340 Evaluation Software"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VX3340"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMFILES_DIR}\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
AllowSkipFiles off
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Tovern Applications Group"
VIAddVersionKey "LegalCopyright" "Tovern Applications Group"

Var DllPath        ; where the user says the library is; empty: not now
Var DllName        ; what it is called beside the programs: parllio.dll or inpout32.dll
Var DllField
Var FinishText

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; A PC without a parallel port reaches the board through an FT232H USB adapter, with FTDI's
; ftd2xx.dll: said on the last page whatever was chosen above.
!define USB_BRIDGE_TEXT "$\r$\n$\r$\nNo parallel port? Wire an FT232H USB adapter to the board (see README.txt) and start the programs with --port ft232h. They need FTDI's ftd2xx.dll, which comes with FTDI's D2XX driver: Windows Update installs it when the adapter is plugged in, or get the driver's setup from ftdichip.com (Drivers, D2XX)."
!define MUI_FINISHPAGE_TEXT "$FinishText${USB_BRIDGE_TEXT}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom DllPage DllPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView ${REGISTRY_VIEW}
  ${GetParameters} $0
  ClearErrors
  StrCpy $DllName "parllio.dll"
  ${GetOptions} $0 "/PARLLIO=" $DllPath
  ${If} ${Errors}
    StrCpy $DllPath ""
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/INPOUT=" $1
  ${IfNot} ${Errors}
    StrCpy $DllPath $1
    StrCpy $DllName "inpout32.dll"
  ${EndIf}
  ; A program still running cannot be replaced.
  FindWindow $1 "VX3340MainForm"
  ${If} $1 != 0
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is running. Close it, then run setup again." /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
FunctionEnd

Function DllPage
  !insertmacro MUI_HEADER_TEXT "The port-I/O library" "It comes with the board or with InpOut32, not with this program."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 48u "The programs reach the parallel port through a port-I/O library: on 32-bit Windows the parllio.dll that came with the VX3340 board, on 64-bit Windows InpOut32's 32-bit inpout32.dll. Choose one here and setup copies it beside the programs. Leave the field empty to skip this; the programs then need it put there later."
  Pop $0
  ${NSD_CreateFileRequest} 0 52u 75% 12u "$DllPath"
  Pop $DllField
  ${NSD_CreateBrowseButton} 77% 51u 23% 14u "Browse..."
  Pop $0
  ${NSD_OnClick} $0 BrowseDll
  nsDialogs::Show
FunctionEnd

Function BrowseDll
  nsDialogs::SelectFileDialog open "$DllPath" "parllio.dll, inpout32.dll|parllio.dll;inpout32.dll|DLL files (*.dll)|*.dll"
  Pop $0
  ${If} $0 != ""
    ${NSD_SetText} $DllField $0
  ${EndIf}
FunctionEnd

Function DllPageLeave
  ${NSD_GetText} $DllField $DllPath
  ${If} $DllPath == ""
    Return
  ${EndIf}
  ${GetFileName} $DllPath $0
  ${IfNot} ${FileExists} "$DllPath"
    MessageBox MB_OK|MB_ICONEXCLAMATION "There is no file $DllPath. Choose parllio.dll or inpout32.dll, or leave the field empty."
    Abort
  ${ElseIf} $0 == "parllio.dll"
  ${OrIf} $0 == "inpout32.dll"
    StrCpy $DllName $0
  ${Else}
    MessageBox MB_OK|MB_ICONEXCLAMATION "$0 is neither parllio.dll nor inpout32.dll. Choose one of them, or leave the field empty."
    Abort
  ${EndIf}
FunctionEnd

; Ends the installation with a message and, in silent mode, exit code 2.
!macro Fail message
  MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
  DetailPrint "${message}"
  SetErrorLevel 2
  Abort
!macroend

Section "Programs"
  SetOverwrite on
  ClearErrors
  CreateDirectory "$INSTDIR"
  SetOutPath "$INSTDIR"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\*.*"
    !insertmacro Fail "Setup cannot create the folder $INSTDIR. Choose a folder you may write to, or run setup as an administrator."
  ${EndIf}
  ClearErrors
  File "${PROGRAMS}\vx3340.exe"
  File "${PROGRAMS}\vx3340ctl.exe"
  File "/oname=README.txt" "${README}"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\vx3340.exe"
    !insertmacro Fail "Setup cannot write to $INSTDIR. Close ${PRODUCT} and any window running vx3340ctl, then run setup again."
  ${EndIf}

  SetRegView ${REGISTRY_VIEW}
  ${If} $DllPath != ""
    ClearErrors
    CopyFiles /SILENT "$DllPath" "$INSTDIR\$DllName"
    ${If} ${Errors}
    ${OrIfNot} ${FileExists} "$INSTDIR\$DllName"
      !insertmacro Fail "Setup cannot copy $DllPath to $INSTDIR\$DllName."
    ${EndIf}
    StrCpy $FinishText "${PRODUCT} is installed, with $DllName beside the programs.$\r$\n$\r$\nStart it from the Start menu."
    ${If} $DllName == "parllio.dll"
      WriteRegDWORD HKLM "${UNINSTALL_KEY}" "ParllioCopied" 1
    ${Else}
      WriteRegDWORD HKLM "${UNINSTALL_KEY}" "InpoutCopied" 1
      Call InstallInpOutDriver
    ${EndIf}
  ${Else}
    StrCpy $FinishText "${PRODUCT} is installed.$\r$\n$\r$\nBefore the programs can reach the board, put the parllio.dll that came with it (on 64-bit Windows: InpOut32's inpout32.dll) into $INSTDIR. Until then, the shortcut $\"(simulated board)$\" runs the program without the board."
  ${EndIf}

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\vx3340.exe" "" "$INSTDIR\vx3340.exe" 0
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} (simulated board).lnk" "$INSTDIR\vx3340.exe" "--simulate" "$INSTDIR\vx3340.exe" 0

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vx3340.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tovern Applications Group"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; Loads inpout32.dll once: running elevated, it installs InpOut's driver. Then asks it whether
; the driver is open, and says so; a driver that is not open ends setup with exit code 4 in
; silent mode, with everything installed.
Function InstallInpOutDriver
  System::Call 'kernel32::LoadLibrary(t "$INSTDIR\inpout32.dll") p .r1'
  ${If} $1 P= 0
    StrCpy $0 "Setup could not load $INSTDIR\inpout32.dll: it must be the 32-bit inpout32.dll of InpOut32."
  ${Else}
    System::Call 'kernel32::GetProcAddress(p r1, m "IsInpOutDriverOpen") p .r2'
    StrCpy $0 0
    ${IfNot} $2 P= 0
      System::Call '::$2() i .r0'
    ${EndIf}
    System::Call 'kernel32::FreeLibrary(p r1)'
    ${If} $0 <> 0
      DetailPrint "InpOut32's driver is open: the programs can reach the port."
      Return
    ${EndIf}
    StrCpy $0 "InpOut32's driver did not start: Windows refused to load it. On Windows 10 and 11, Memory Integrity (Windows Security, Device security, Core isolation) or Microsoft's vulnerable-driver blocklist may refuse it: see README.txt, 64-bit Windows."
  ${EndIf}
  DetailPrint "$0"
  MessageBox MB_OK|MB_ICONEXCLAMATION "$0" /SD IDOK
  StrCpy $FinishText "$FinishText$\r$\n$\r$\n$0"
  SetErrorLevel 4
FunctionEnd

Function un.onInit
  SetRegView ${REGISTRY_VIEW}
  FindWindow $1 "VX3340MainForm"
  ${If} $1 != 0
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is running. Close it, then uninstall again." /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "ParllioCopied"
  ${If} $0 == 1
    Delete "$INSTDIR\parllio.dll"
  ${EndIf}
  ; InpOut's driver stays: it belongs to InpOut32, and other programs may use it.
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "InpoutCopied"
  ${If} $0 == 1
    Delete "$INSTDIR\inpout32.dll"
  ${EndIf}
  Delete "$INSTDIR\vx3340.exe"
  Delete "$INSTDIR\vx3340ctl.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"  ; only when empty: a DLL the user put there stays
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} (simulated board).lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
