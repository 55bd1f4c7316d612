<html>
<body>
<p>Price: ${price}</p>
<p>Total:	${1 +}</p>
</body>
</html>
