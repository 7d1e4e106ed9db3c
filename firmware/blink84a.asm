; Blinks an LED on RB0 of a PIC16F84A with a software delay; the blink count is kept in
; data EEPROM so a restart resumes where it left off.
        processor 16f84a
        include <p16f84a.inc>
        __config _XT_OSC & _WDT_OFF & _PWRTE_ON & _CP_OFF
        __idlocs 0x1234

delay1  equ     0x0C
delay2  equ     0x0D
count   equ     0x0E

        org     0x000
        goto    start

        org     0x004
        retfie

start   bsf     STATUS, RP0
        clrf    TRISB
        bcf     STATUS, RP0
        clrf    EEADR
        bsf     STATUS, RP0
        bsf     EECON1, RD
        bcf     STATUS, RP0
        movf    EEDATA, W
        movwf   count
loop    movlw   0x01
        xorwf   PORTB, F
        incf    count, F
        call    save
        call    wait
        goto    loop

save    movf    count, W
        movwf   EEDATA
        clrf    EEADR
        bsf     STATUS, RP0
        bsf     EECON1, WREN
        movlw   0x55
        movwf   EECON2
        movlw   0xAA
        movwf   EECON2
        bsf     EECON1, WR
wsave   btfsc   EECON1, WR
        goto    wsave
        bcf     EECON1, WREN
        bcf     STATUS, RP0
        return

wait    clrf    delay1
        clrf    delay2
w1      decfsz  delay1, F
        goto    w1
        decfsz  delay2, F
        goto    w1
        return

        ; a text table near the top of program memory
        org     0x3F0
table   addwf   PCL, F
        dt      "Tolvane"

        org     0x2100
        de      0x00, "84A", 0x5A, 0xA5, 0xFF, 0xEE
        end
