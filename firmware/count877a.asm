; Counts on PORTB of a PIC16F877A; the start value and a greeting live in data EEPROM, and a
; routine sits in every program memory page so all four pages are in use.
        processor 16f877a
        include <p16f877a.inc>
        __config _HS_OSC & _WDT_OFF & _PWRTE_ON & _BOREN_ON & _LVP_OFF & _CPD_OFF & _WRT_OFF & _CP_OFF
        __idlocs 0x0877

count   equ     0x20

        org     0x0000
        clrf    PCLATH
        goto    start

        org     0x0004
        retfie

start   banksel TRISB
        clrf    TRISB
        banksel EEADR
        clrf    EEADR
        banksel EECON1
        bcf     EECON1, EEPGD
        bsf     EECON1, RD
        banksel EEDATA
        movf    EEDATA, W
        banksel PORTB
        movwf   count
loop    movf    count, W
        movwf   PORTB
        incf    count, F
        pagesel page1
        call    page1
        pagesel page2
        call    page2
        pagesel page3
        call    page3
        pagesel loop
        goto    loop

        org     0x0800
page1   nop
        return

        org     0x1000
page2   nop
        nop
        return

        org     0x1800
page3   movlw   0x77
        return

        org     0x1FF8
        dt      "877A end"

        org     0x2100
        de      0x10, "Hello, PIC16F877A", 0x00
        de      0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08
        de      0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0xFE
        end
