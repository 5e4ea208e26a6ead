 TITLE = "A BEM Model for a Potential Problem" 
#ZONES" 
 VARIABLES = "X", "Y", "Z"
 ZONE T="Model", N=           3 , E=           1 
 DATAPACKING=POINT, ZONETYPE=FETRIANGLE
  0.0000000E+00  0.0000000E+00  0.0000000E+00
  0.0000000E+00  0.0000000E+00  0.2000000E+01
  0.0000000E+00  0.3000000E+01  0.0000000E+00
 
              1              2              3
