@echo off
rem Stand-in for the repair script after dial-up errors 619 and 692: leaves a mark beside itself.
echo fix692 ran> "%~dp0fix692.done"
