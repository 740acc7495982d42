[InstallShield Silent]
Version=v5.00.000
File=Response File

[DlgOrder]
Dlg0=SdWelcome-0
Count=10
Dlg1=SdLicense-0
Dlg2=SdAskDestPath-0
Dlg3=DlgInitialSettings-0
Dlg4=SdStartCopy-0
Dlg5=DlgAdvo1-0
Dlg6=DlgAdvo2-0
Dlg7=DlgOtherOptions-0
Dlg8=DlgScanForViruses-0
Dlg9=SdFinish-0

[SdWelcome-0]
Result=1

[SdLicense-0]
Result=1

[SdAskDestPath-0]
szDir=%INSTALLDIR%
Result=1

[DlgInitialSettings-0]
StartAutoProtect=1
ScheduleScan=1
Result=1

[SdStartCopy-0]
Result=1

[Application]
Name=Taskan Virus Sentry
Version=7.0
Company=Veltrane
Lang=0009

[DlgAdvo1-0]
Result=1
EnableEmailProtection=1

[DlgAdvo2-0]
Result=1
StartAutoUpdate=1
UpdateUpdateMode=3

[DlgOtherOptions-0]
DesktopShortcut=0
ShowReadme=0
Result=1

[DlgScanForViruses-0]
RunSkyfetchAfterInstall=0
RunScanAfterInstall=0
Result=1

[SdFinish-0]
Result=1
bOpt1=0
bOpt2=0
