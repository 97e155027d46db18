* TMS320C33 flash loader.
*
* Serial-booted into the internal RAM by the host's flash procedures, then
* driven with command words through the pod: reads of the flash, chip erase
* and byte programming of the JEDEC chips, page writes of the Atmel chips.
* The table in flash_loader_c33.cpp is generated from this file by
* `velmora-cli loader-table`; the host writes the configured primary bus
* control value into bus_control_value (0x809A3B) before every flash command.
*
* Memory: code at 0x809810, constants at 0x809A36, then the receive ring and
* the stack; the RINT0 vector at 0x809FC6 (boot-loader vector table).

CONSTS_BASE     .set    809A36h
        .include "loader_c31_c33.inc"
