@echo off
rem Stand-in for the repair script after dial-up errors 711 and 1062: leaves a mark beside itself.
echo fixservice ran> "%~dp0fixservice.done"
