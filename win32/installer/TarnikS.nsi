; The TarnikS installer: the panel into Program Files, a Start-menu entry, an entry in Add/Remove
; Programs, and an uninstaller that leaves System.cfg and the trace log alone unless asked (the
; checked box of its "Settings" component, or /REMOVESETTINGS on its command line).
; makensis -DVERSION=x.y.z -DSTAGE=<folder with TarnikS.exe, README.txt, LICENSE.txt> -DOUTFILE=<setup.exe>
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh

!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TarnikS"

Name "TarnikS ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\TarnikS"
InstallDirRegKey HKLM "${UNINSTKEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage components
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Section "TarnikS"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\TarnikS.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\TarnikS.lnk" "$INSTDIR\TarnikS.exe"

  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "TarnikS"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\TarnikS.exe"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
SectionEnd

Section "un.TarnikS" SecProgram
  SectionIn RO
  SetShellVarContext all
  Delete "$SMPROGRAMS\TarnikS.lnk"
  Delete "$INSTDIR\TarnikS.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${UNINSTKEY}"
SectionEnd

; The panel keeps its files beside itself when it may write there, else in the user's roaming
; application data: both places are cleared.
Section /o "un.Settings and trace log (System.cfg)" SecSettings
  SetShellVarContext current
  Delete "$APPDATA\TarnikS\System.cfg"
  Delete "$APPDATA\TarnikS\TarnikS_log.txt"
  RMDir "$APPDATA\TarnikS"
  Delete "$INSTDIR\System.cfg"
  Delete "$INSTDIR\TarnikS_log.txt"
SectionEnd

; Last: the folder goes only when nothing is left in it.
Section "-un.Folder"
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  SetRegView 64
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecSettings}
  ${EndIf}
FunctionEnd
