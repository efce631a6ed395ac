@echo off
rem Stand-in for the system diagnosis script: writes a recognisable report into the file it is given.
echo diagnosis stand-in> %1
echo computer: %COMPUTERNAME%>> %1
echo load: 100%%>> %1
