; Toggles RC0 of a PIC16F630 on its internal oscillator after loading the factory
; calibration value; a threshold byte is kept in data EEPROM. The calibration word at 0x3FF
; is left to the chip.
        processor 16f630
        include <p16f630.inc>
        __config _INTRC_OSC_NOCLKOUT & _WDT_OFF & _PWRTE_ON & _MCLRE_OFF & _BODEN & _CP_OFF & _CPD_OFF
        __idlocs 0x0630

        org     0x000
        bsf     STATUS, RP0
        call    0x3FF
        movwf   OSCCAL
        clrf    TRISC
        bcf     STATUS, RP0
        movlw   0x07
        movwf   CMCON
loop    movlw   0x01
        xorwf   PORTC, F
        goto    loop

        org     0x2100
        de      0x30, "630", 0x7F, 0x42
        end
