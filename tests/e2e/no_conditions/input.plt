 TITLE = "A BEM Model for a Potential Problem" 
#ZONES" 
 VARIABLES = "X", "Y", "Z"
 ZONE T="Model", N=           5 , E=           3 
 DATAPACKING=POINT, ZONETYPE=FETRIANGLE
  0.0000000E+00  0.0000000E+00  0.0000000E+00
  0.2500000E+01  0.0000000E+00  0.0000000E+00
  0.2500000E+01 -0.1250000E+01  0.0000000E+00
  0.0000000E+00 -0.1250000E+01  0.0000000E+00
  0.1250000E+00  0.3333333E+00  0.1000000E+04
 
              1              2              4
              2              3              4
              1              5              2
