<%@ page contentType="text/html; charset=UTF-8" %>
<ul>
<% for (int i = 0; i < 3; i++) { /* loop-head */ %>
<li>loop-item <%= i * 10 /* loop-expression */ %></li>
<% } /* loop-close */ %>
</ul>
<%
    int total = 0;
    for (int k = 0; k < 4; k++) {
        total += k; // loop-body-statement
    }
%>
<p>loop-total <%= total /* loop-total-expression */ %></p>
